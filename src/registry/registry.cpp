// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int reg_set_value(lua_State*) { return 0; }
int reg_get_value(lua_State*) { return 0; }
int reg_delete_key(lua_State*) { return 0; }
int reg_delete_value(lua_State*) { return 0; }

} // namespace osbridge
