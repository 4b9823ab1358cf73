// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int process_list(lua_State*) { return 0; }
int process_modules(lua_State*) { return 0; }
int terminate_process(lua_State*) { return 0; }

} // namespace osbridge
