// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int play_sound(lua_State*) { return 0; }
int bitmap_info(lua_State*) { return 0; }

} // namespace osbridge
