// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int get_current_dir(lua_State*) { return 0; }
int file_size(lua_State*) { return 0; }
int mkdir(lua_State*) { return 0; }
int copy_file(lua_State*) { return 0; }
int move_file(lua_State*) { return 0; }
int delete_file(lua_State*) { return 0; }
int file_exist(lua_State*) { return 0; }

} // namespace osbridge
