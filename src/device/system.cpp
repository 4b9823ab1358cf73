// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int dll_register_server(lua_State*) { return 0; }
int dll_unregister_server(lua_State*) { return 0; }
int get_user_default_lcid(lua_State*) { return 0; }
int set_user_default_lcid(lua_State*) { return 0; }
int get_system_default_lcid(lua_State*) { return 0; }
int serial_number(lua_State*) { return 0; }
int get_system_metrics(lua_State*) { return 0; }

} // namespace osbridge
