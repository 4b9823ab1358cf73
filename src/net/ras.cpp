// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int ras_connections(lua_State*) { return 0; }
int ras_entries(lua_State*) { return 0; }
int ras_connect_status(lua_State*) { return 0; }
int ras_dial(lua_State*) { return 0; }
int ras_hangup(lua_State*) { return 0; }

} // namespace osbridge
