// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int clipboard_get(lua_State*) { return 0; }
int clipboard_set(lua_State*) { return 0; }

} // namespace osbridge
