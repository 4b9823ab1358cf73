// The Lua functions of the module, one C++ function per Lua function, each
// defined in the subsystem folder that owns it and registered in module.cpp.
#pragma once

#include "core/lua_compat.h"

namespace osbridge {

// core
int get_last_error(lua_State* L);
int set_code_page(lua_State* L);
int get_code_page(lua_State* L);
int version(lua_State* L);
// codecs
int crc16(lua_State* L);
int to_hex(lua_State* L);
int from_hex(lua_State* L);
int get_epoch_ms(lua_State* L);
// input
int get_keybd_state(lua_State* L);
int keybd_event(lua_State* L);
int string_to_keys(lua_State* L);
int toggle_numlock(lua_State* L);
int register_hotkey(lua_State* L);
int unregister_hotkey(lua_State* L);
int unregister_func1(lua_State* L);
// windows
int send_message(lua_State* L);
int get_window_long(lua_State* L);
int set_window_long(lua_State* L);
int set_window_pos(lua_State* L);
int get_window_rect(lua_State* L);
int is_window_visible(lua_State* L);
int find_window(lua_State* L);
int show_window(lua_State* L);
int set_focus(lua_State* L);
int get_focus(lua_State* L);
int set_foreground_window(lua_State* L);
int get_foreground_window(lua_State* L);
int create_shortcut(lua_State* L);  // also sh_fullscreen
int destroy_window(lua_State* L);
int enable_window(lua_State* L);
int enum_windows(lua_State* L);
int get_window(lua_State* L);
int get_window_text(lua_State* L);
int wait_for_window(lua_State* L);
// registry
int reg_set_value(lua_State* L);
int reg_get_value(lua_State* L);
int reg_delete_key(lua_State* L);
int reg_delete_value(lua_State* L);
// files
int get_current_dir(lua_State* L);
int file_size(lua_State* L);
int mkdir(lua_State* L);
int rmdir(lua_State* L);
int copy_file(lua_State* L);
int move_file(lua_State* L);
int delete_file(lua_State* L);
int file_exist(lua_State* L);
int drives(lua_State* L);
// process
int exec(lua_State* L);
int shell_execute(lua_State* L);
int process_list(lua_State* L);
int process_modules(lua_State* L);
int terminate_process(lua_State* L);
int start_process(lua_State* L);
int wait_for_process(lua_State* L);
int wait_for_input_idle(lua_State* L);
int run_process(lua_State* L);
// ui
int msgbox(lua_State* L);
int get_password(lua_State* L);
int clipboard_get(lua_State* L);
int clipboard_set(lua_State* L);
int play_sound(lua_State* L);
int bitmap_info(lua_State* L);
// device
int wince_oeminfo(lua_State* L);  // also wince_platform, wnet_add_connection
int sleep(lua_State* L);
int get_system_powerstatus(lua_State* L);  // also get_system_powerstatus_ex
int sip_get_current_im(lua_State* L);
int sip_set_current_im(lua_State* L);
int warm_reset(lua_State* L);
int cold_reset(lua_State* L);
int suspend_system(lua_State* L);
int usbfn_get_current_client(lua_State* L);
int usbfn_set_current_client(lua_State* L);  // also usbfn_set_default_client
int powermanager_reload_activity_timeouts(lua_State* L);
int dll_register_server(lua_State* L);
int dll_unregister_server(lua_State* L);
int get_user_default_lcid(lua_State* L);
int set_user_default_lcid(lua_State* L);  // also set_system_default_lcid
int get_system_default_lcid(lua_State* L);
int serial_number(lua_State* L);
int get_system_metrics(lua_State* L);
// net
int ras_connections(lua_State* L);
int ras_entries(lua_State* L);
int ras_connect_status(lua_State* L);
int ras_dial(lua_State* L);
int ras_hangup(lua_State* L);
int get_net_adapters_info(lua_State* L);
int phone_makecall(lua_State* L);
int clear_browser_cache(lua_State* L);
int add_cert_to_store(lua_State* L);
int print_on_printer(lua_State* L);

} // namespace osbridge
