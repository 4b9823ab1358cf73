// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int send_message(lua_State*) { return 0; }
int get_window_long(lua_State*) { return 0; }
int set_window_long(lua_State*) { return 0; }
int set_window_pos(lua_State*) { return 0; }
int get_window_rect(lua_State*) { return 0; }
int is_window_visible(lua_State*) { return 0; }
int find_window(lua_State*) { return 0; }
int show_window(lua_State*) { return 0; }
int set_focus(lua_State*) { return 0; }
int get_focus(lua_State*) { return 0; }
int set_foreground_window(lua_State*) { return 0; }
int get_foreground_window(lua_State*) { return 0; }
int create_shortcut(lua_State*) { return 0; }
int destroy_window(lua_State*) { return 0; }
int enable_window(lua_State*) { return 0; }

} // namespace osbridge
