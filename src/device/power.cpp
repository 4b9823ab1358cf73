// Not yet implemented: every function answers with no values.
#include "core/functions.h"

namespace osbridge {

int wince_oeminfo(lua_State*) { return 0; }
int sleep(lua_State*) { return 0; }
int get_system_powerstatus(lua_State*) { return 0; }
int sip_get_current_im(lua_State*) { return 0; }
int sip_set_current_im(lua_State*) { return 0; }
int warm_reset(lua_State*) { return 0; }
int cold_reset(lua_State*) { return 0; }
int suspend_system(lua_State*) { return 0; }
int usbfn_get_current_client(lua_State*) { return 0; }
int usbfn_set_current_client(lua_State*) { return 0; }
int powermanager_reload_activity_timeouts(lua_State*) { return 0; }

} // namespace osbridge
