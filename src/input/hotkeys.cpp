// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int register_hotkey(lua_State*) { return 0; }
int unregister_hotkey(lua_State*) { return 0; }
int unregister_func1(lua_State*) { return 0; }

} // namespace osbridge
