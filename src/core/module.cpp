// Library entry point and the Lua loader: function table, constants and
// version fields of the module table `osbridge`.
#include "core/module.h"

#include "core/constants.h"
#include "core/functions.h"
#include "core/osbridge.h"

namespace osbridge {

HINSTANCE module_instance;

namespace {

const luaL_Reg function_table[] = {
    {"wince_oeminfo", wince_oeminfo},
    {"wince_platform", wince_oeminfo},
    {"version", version},
    {"get_keybd_state", get_keybd_state},
    {"keybd_event", keybd_event},
    {"sleep", sleep},
    {"msgbox", msgbox},
    {"exec", exec},
    {"send_message", send_message},
    {"get_window_long", get_window_long},
    {"set_window_long", set_window_long},
    {"set_window_pos", set_window_pos},
    {"get_window_rect", get_window_rect},
    {"is_window_visible", is_window_visible},
    {"reg_set_value", reg_set_value},
    {"reg_get_value", reg_get_value},
    {"reg_delete_key", reg_delete_key},
    {"reg_delete_value", reg_delete_value},
    {"find_window", find_window},
    {"show_window", show_window},
    {"set_focus", set_focus},
    {"get_focus", get_focus},
    {"set_foreground_window", set_foreground_window},
    {"get_foreground_window", get_foreground_window},
    {"get_current_dir", get_current_dir},
    {"get_system_powerstatus", get_system_powerstatus},
    {"get_system_powerstatus_ex", get_system_powerstatus},
    {"dll_register_server", dll_register_server},
    {"dll_unregister_server", dll_unregister_server},
    {"sip_get_current_im", sip_get_current_im},
    {"sip_set_current_im", sip_set_current_im},
    {"warm_reset", warm_reset},
    {"cold_reset", cold_reset},
    {"suspend_system", suspend_system},
    {"file_size", file_size},
    {"mkdir", mkdir},
    {"rmdir", rmdir},
    {"copy_file", copy_file},
    {"move_file", move_file},
    {"delete_file", delete_file},
    {"file_exist", file_exist},
    {"get_password", get_password},
    {"clipboard_get", clipboard_get},
    {"clipboard_set", clipboard_set},
    {"create_shortcut", create_shortcut},
    {"sh_fullscreen", create_shortcut},
    {"string_to_keys", string_to_keys},
    {"enum_windows", enum_windows},
    {"process_list", process_list},
    {"process_modules", process_modules},
    {"terminate_process", terminate_process},
    {"get_window", get_window},
    {"get_window_text", get_window_text},
    {"destroy_window", destroy_window},
    {"wnet_add_connection", wince_oeminfo},
    {"usbfn_get_current_client", usbfn_get_current_client},
    {"usbfn_set_current_client", usbfn_set_current_client},
    {"usbfn_set_default_client", usbfn_set_current_client},
    {"crc16", crc16},
    {"to_hex", to_hex},
    {"from_hex", from_hex},
    {"get_epoch_ms", get_epoch_ms},
    {"powermanager_reload_activity_timeouts", powermanager_reload_activity_timeouts},
    {"shell_execute", shell_execute},
    {"enable_window", enable_window},
    {"get_user_default_lcid", get_user_default_lcid},
    {"set_user_default_lcid", set_user_default_lcid},
    {"get_system_default_lcid", get_system_default_lcid},
    {"set_system_default_lcid", set_user_default_lcid},
    {"get_last_error", get_last_error},
    {"print_on_printer", print_on_printer},
    {"serial_number", serial_number},
    {"get_system_metrics", get_system_metrics},
    {"toggle_numlock", toggle_numlock},
    {"ras_connections", ras_connections},
    {"ras_entries", ras_entries},
    {"ras_connect_status", ras_connect_status},
    {"ras_dial", ras_dial},
    {"ras_hangup", ras_hangup},
    {"get_net_adapters_info", get_net_adapters_info},
    {"play_sound", play_sound},
    {"register_hotkey", register_hotkey},
    {"unregister_hotkey", unregister_hotkey},
    {"unregister_func1", unregister_func1},
    {"phone_makecall", phone_makecall},
    {"clear_browser_cache", clear_browser_cache},
    {"add_cert_to_store", add_cert_to_store},
    {"bitmap_info", bitmap_info},
    {"set_code_page", set_code_page},
    {"get_code_page", get_code_page},
    {"start_process", start_process},
    {"wait_for_process", wait_for_process},
    {"wait_for_input_idle", wait_for_input_idle},
    {"wait_for_window", wait_for_window},
    {"drives", drives},
    {"run_process", run_process},
    {nullptr, nullptr},
};

// luaL_openlib makes a new closure per name; names that share a C function
// share one function value instead.
void share_aliases(lua_State* L)
{
    for (const luaL_Reg* alias = function_table; alias->name; ++alias) {
        for (const luaL_Reg* first = function_table; first != alias; ++first) {
            if (first->func == alias->func) {
                lua_getfield(L, -1, first->name);
                lua_setfield(L, -2, alias->name);
                break;
            }
        }
    }
}

template <typename Convert>
void set_constants(lua_State* L, const Constant* rows, Convert convert)
{
    for (const Constant* row = rows; row->name; ++row) {
        lua_pushstring(L, row->name);
        push_whole(L, convert(row->value));
        lua_settable(L, -3);
    }
}

} // namespace

int open_module(lua_State* L, Loader& loader)
{
    if (!resolve_bindings(loader)) {
        ::MessageBoxW(::GetForegroundWindow(), L"osbridge dynload problem!", L"Lua Error", MB_ICONERROR);
        return 0;
    }
    // Every function gets the state's code-page cell as its upvalue.
    push_code_page_cell(L);
    luaL_openlib(L, "osbridge", function_table, 1);
    share_aliases(L);
    set_constants(L, unsigned_constants, [](uint32_t v) { return static_cast<int64_t>(v); });
    set_constants(L, signed_constants, [](uint32_t v) { return static_cast<int64_t>(static_cast<int32_t>(v)); });
    lua_pushstring(L, "1.0.42");
    lua_setfield(L, -2, "_VERSION");
    lua_pushstring(L, "$Id: osbridge 321 2014-01-21 10:18:13Z jk $");
    lua_setfield(L, -2, "_BUILD");
    lua_pushstring(L, "Fri Feb  7 11:00:41 2014");
    lua_setfield(L, -2, "_TIMESTAMP");
    lua_settop(L, 0);
    return 0;
}

} // namespace osbridge

extern "C" __declspec(dllexport) int luaopen_osbridge(lua_State* L)
{
    return osbridge::open_module(L, osbridge::system_loader());
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID)
{
    osbridge::module_instance = instance;
    return TRUE;
}
