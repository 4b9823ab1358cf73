// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int get_keybd_state(lua_State*) { return 0; }
int keybd_event(lua_State*) { return 0; }
int string_to_keys(lua_State*) { return 0; }
int toggle_numlock(lua_State*) { return 0; }

} // namespace osbridge
