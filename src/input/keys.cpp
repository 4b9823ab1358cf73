// Synthesized keyboard input: single key events, typing whole strings, the
// Num Lock toggle, and the live state of a key. All of it goes to whatever
// window has the keyboard focus.
#include "core/functions.h"
#include "core/osbridge.h"

#include <cstring>

namespace osbridge {

OSBRIDGE_I686_SIZE(INPUT, 28);

namespace {

// Key and Shift state for one character of the table typing mode.
struct KeyStroke {
    BYTE key = 0;
    bool shift = false;
};

struct KeyTable {
    KeyStroke entries[128];
};

// The US layout, except that digits and minus use the numeric keypad.
constexpr KeyTable make_key_table()
{
    KeyTable table{};
    auto set = [&table](char c, BYTE key, bool shift) {
        table.entries[static_cast<unsigned char>(c)] = KeyStroke{key, shift};
    };
    set('\b', VK_BACK, false);
    set('\t', VK_TAB, false);
    set('\r', VK_RETURN, false);
    set('\x1b', VK_ESCAPE, false);
    set(' ', VK_SPACE, false);
    set('\x7f', VK_DELETE, false);

    // Top-row keys shifted; the digits themselves come from the keypad.
    const char top_row_shifted[] = ")!@#$%^&*(";
    for (int i = 0; i < 10; ++i) {
        set(top_row_shifted[i], static_cast<BYTE>('0' + i), true);
        set(static_cast<char>('0' + i), static_cast<BYTE>(VK_NUMPAD0 + i), false);
    }
    for (int i = 0; i < 26; ++i) {
        set(static_cast<char>('A' + i), static_cast<BYTE>('A' + i), true);
        set(static_cast<char>('a' + i), static_cast<BYTE>('A' + i), false);
    }
    set('-', VK_SUBTRACT, false);
    set('_', VK_OEM_MINUS, true);
    set('=', VK_OEM_PLUS, false);
    set('+', VK_OEM_PLUS, true);
    set('[', VK_OEM_4, false);
    set('{', VK_OEM_4, true);
    set(']', VK_OEM_6, false);
    set('}', VK_OEM_6, true);
    set(';', VK_OEM_1, false);
    set(':', VK_OEM_1, true);
    set('\'', VK_OEM_7, false);
    set('"', VK_OEM_7, true);
    set(',', VK_OEM_COMMA, false);
    set('<', VK_OEM_COMMA, true);
    set('.', VK_OEM_PERIOD, false);
    set('>', VK_OEM_PERIOD, true);
    set('/', VK_OEM_2, false);
    set('?', VK_OEM_2, true);
    set('`', VK_OEM_3, false);
    set('~', VK_OEM_3, true);
    set('\\', VK_OEM_5, false);
    set('|', VK_OEM_5, true);
    return table;
}

constexpr KeyTable key_table = make_key_table();

void send_key(BYTE key, BYTE scan, DWORD flags)
{
    ::keybd_event(key, scan, flags, 0);
}

void send_input_pair(WORD key, WORD scan)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = scan;
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    ::SendInput(1, &input, sizeof input);
    input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    ::SendInput(1, &input, sizeof input);
}

// Bytes of the character that starts at `text` in `code_page`: a lead byte
// with its trail byte in double-byte code pages, a whole sequence of up to
// four bytes in UTF-8 (which has no lead bytes in the double-byte sense). A
// sequence cut short by the end of the text or broken counts one byte.
size_t character_bytes(const char* text, UINT code_page)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    if (code_page == CP_ACP ? ::GetACP() != CP_UTF8 : code_page != CP_UTF8) {
        const BOOL lead_byte = code_page == CP_ACP ? ::IsDBCSLeadByte(lead) : ::IsDBCSLeadByteEx(code_page, lead);
        return lead_byte && text[1] ? 2 : 1;
    }
    const size_t bytes = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4 : 1;
    for (size_t i = 1; i < bytes; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 1;
    }
    return bytes;
}

// Types the character that starts at `text` as its UTF-16 units (two, a
// surrogate pair, beyond the Basic Multilingual Plane); returns the bytes it
// used.
size_t type_ansi_character(const char* text, UINT code_page)
{
    const size_t bytes = character_bytes(text, code_page);
    // Each byte of a sequence the system rejects may become a unit of its own.
    wchar_t units[4];
    const int count = ::MultiByteToWideChar(code_page, 0, text, static_cast<int>(bytes), units, 4);
    for (int i = 0; i < count; ++i)
        send_input_pair(0, units[i]);
    return bytes;
}

size_t type_unicode(const char* text, UINT code_page)
{
    switch (text[0]) {
    case '\t': send_input_pair(VK_TAB, 0x8F); return 1;
    case '\n': send_input_pair(VK_RETURN, 0x9C); return 1;
    default: break;
    }
    if (static_cast<unsigned char>(text[0]) >= 0x80)
        return type_ansi_character(text, code_page);
    send_input_pair(0, static_cast<unsigned char>(text[0]));
    return 1;
}

size_t type_from_table(const char* text, UINT code_page)
{
    const unsigned char c = static_cast<unsigned char>(text[0]);
    if (c >= 0x80)
        return type_ansi_character(text, code_page);
    const KeyStroke stroke = key_table.entries[c];
    const BYTE scan = static_cast<BYTE>(::MapVirtualKeyA(c, MAPVK_VK_TO_VSC));
    if (stroke.shift)
        send_key(VK_SHIFT, 0, 0);
    send_key(stroke.key, scan, 0);
    send_key(stroke.key, scan, KEYEVENTF_KEYUP);
    if (stroke.shift)
        send_key(VK_SHIFT, 0, KEYEVENTF_KEYUP);
    return 1;
}

} // namespace

int keybd_event(lua_State* L)
{
    if (lua_gettop(L) < 2) {
        ::MessageBoxW(api.GetForegroundWindow(), L"lua_error: function keybd_event() takes 2 arguments!",
                      L"Lua Error", MB_ICONHAND);
        return 0;
    }
    BYTE key;
    switch (lua_type(L, -2)) {
    case LUA_TNUMBER:
        key = static_cast<BYTE>(to_u32(L, -2));
        break;
    case LUA_TSTRING:  // the first byte, so "65" is the key of the digit 6
        key = static_cast<BYTE>(lua_tostring(L, -2)[0]);
        break;
    default:
        return 0;
    }
    const DWORD flags = to_u32(L, -1);
    send_key(key, static_cast<BYTE>(api.MapVirtualKeyW(key, MAPVK_VK_TO_VSC)), flags);
    return 0;
}

int get_keybd_state(lua_State* L)
{
    if (lua_gettop(L) == 0)
        return 0;
    const int32_t key = to_i32(L, -1);
    if (key == 0)
        return 0;
    lua_pushboolean(L, (api.GetAsyncKeyState(key) & 0x8000) != 0);
    return 1;
}

int string_to_keys(lua_State* L)
{
    const char* text = luaL_checklstring(L, 1, nullptr);
    const bool unicode = opt_choice(L, 3, 0) != 0;
    const UINT cp = code_page(L);
    // A text that is not in the code page the script chose types nothing,
    // rather than the part before the fault.
    if (cp != CP_ACP && *text && ::MultiByteToWideChar(cp, to_wide_flags(cp), text, -1, nullptr, 0) <= 0)
        return 0;
    while (*text)
        text += unicode ? type_unicode(text, cp) : type_from_table(text, cp);
    return 0;
}

int toggle_numlock(lua_State*)
{
    send_key(VK_NUMLOCK, 0x45, KEYEVENTF_EXTENDEDKEY);
    send_key(VK_NUMLOCK, 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
    return 0;
}

} // namespace osbridge
