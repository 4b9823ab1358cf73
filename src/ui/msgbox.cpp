// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int msgbox(lua_State*) { return 0; }
int get_password(lua_State*) { return 0; }

} // namespace osbridge
