// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int get_net_adapters_info(lua_State*) { return 0; }
int phone_makecall(lua_State*) { return 0; }
int clear_browser_cache(lua_State*) { return 0; }
int add_cert_to_store(lua_State*) { return 0; }

} // namespace osbridge
