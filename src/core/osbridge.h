// Shared routines of the module: text conversion, last-error text, argument
// forms and result conventions. Every Lua function is written against these.
//
// Lua 5.1 raises errors with longjmp, which skips C++ destructors. Functions
// therefore read and check all their arguments before creating any owning
// object, and push their results once system handles are closed again.
// Any Lua call that allocates can also run script code (a hook, a finalizer)
// that changes the system: nothing system-wide that such code can change (an
// open clipboard, a locked block) is held across one. Copy out, release, push.
#pragma once

#include <windows.h>
#include "core/lua_compat.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/bindings.h"
#include "core/handles.h"

// Record sizes of the 32-bit x86 interface that the module relies on; other
// architectures use the platform's own sizes.
#if defined(__i386__) || defined(_M_IX86)
#define OSBRIDGE_I686_SIZE(type, bytes) static_assert(sizeof(type) == (bytes), #type " must be " #bytes " bytes")
#else
#define OSBRIDGE_I686_SIZE(type, bytes) static_assert(true, "")
#endif

namespace osbridge {

// Instance handle of this library, recorded by DllMain.
extern HINSTANCE module_instance;

// ---- text (the state's code page <-> UTF-16) -------------------------------

// The code page in which this Lua state's texts travel: CP_ACP, the host's
// ANSI code page, unless the script chose another with set_code_page. The
// module's functions share one cell per state as their first upvalue, so a
// function reads it once at its start and hands it down; code that runs as
// a protected call of its own (GuardedPush) cannot see it and is given it.
inline UINT* code_page_cell(lua_State* L)
{
    return static_cast<UINT*>(lua_touserdata(L, lua_upvalueindex(1)));
}
inline UINT code_page(lua_State* L)
{
    const UINT* cell = code_page_cell(L);
    return cell ? *cell : CP_ACP;
}
// Pushes this state's cell, made (holding CP_ACP) by the first load in it;
// a module table loaded again in the same state shares the first one's.
void push_code_page_cell(lua_State* L);

// Flags for converting from `code_page` to UTF-16: strict in UTF-8, where
// the system would otherwise put U+FFFD for a broken sequence and pass on a
// text the script never gave. The ANSI code page converts as it always has.
inline DWORD to_wide_flags(UINT code_page) noexcept
{
    return code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
}
// New NUL-terminated UTF-16 copy of n bytes of text in `code_page`; null for
// null or n < 1, and for text that cannot be converted (no memory, longer
// than the system converts, or rejected by it: in UTF-8, any invalid
// sequence).
WideText a2w(const char* text, size_t n, UINT code_page);
// The same for NUL-terminated text: taken up to its first zero byte.
WideText a2w(const char* text, UINT code_page);
// a2w for a text whose absence means something of its own (a default, any
// window, the root key): false when a text that is not empty cannot be
// converted, so that the caller fails instead of taking it for no text.
bool a2w_optional(const char* text, WideText& wide, UINT code_page);
// New NUL-terminated copy of UTF-16 text (at most n units, up to its first
// zero unit) in `code_page`; null for null or n < 1. Sized from the converted
// text, so double-byte code pages and UTF-8 are never cut.
AnsiText w2a(const wchar_t* text, size_t n, UINT code_page);
// The units of a text that the system cut at a limit in units, without the
// first half of a surrogate pair that the cut separated from its second.
inline size_t whole_units(const wchar_t* text, size_t n) noexcept
{
    return n > 0 && IS_HIGH_SURROGATE(text[n - 1]) ? n - 1 : n;
}
// Pushes the same text in `code_page` ("" when there is none). It is
// converted on the stack or in a block Lua owns, so a memory error while
// pushing leaks nothing.
void push_w2a(lua_State* L, const wchar_t* text, size_t n, UINT code_page);
// NUL-terminated UTF-16 form of text in `code_page` up to its first zero
// byte, stored in `wide`: in `stack` (`units` long) when it fits, else in a
// block Lua owns, left on the Lua stack; null for empty text. False when a
// text that is not empty cannot be converted, as for a2w_optional. Its only
// error is Lua's out-of-memory error, so it is called before any resource is
// taken.
bool a2w_scratch(lua_State* L, const char* text, wchar_t* stack, size_t units, const wchar_t*& wide,
                 UINT code_page);
// The same for the n bytes at `text`, which hold no zero byte.
bool a2w_scratch(lua_State* L, const char* text, size_t n, wchar_t* stack, size_t units, const wchar_t*& wide,
                 UINT code_page);

// Room for last_error_text, terminator included; each caller has its own, so
// threads never see each other's text.
using ErrorText = char[2048];
// "first line of the system text (code)" for the thread's last error, in
// `code_page`, written into `text` and returned; null when the system has no
// text for the code.
const char* last_error_text(ErrorText& text, UINT code_page);
// The same, never null: a reason that must not read as success.
const char* last_error_reason(ErrorText& text, UINT code_page);

// ---- numbers ------------------------------------------------------------------

// A Lua number standing for a 32-bit system value: truncated toward zero,
// low 32 bits kept (so 2147483650 and -2147483646 are the same value).
uint32_t to_u32(lua_Number n) noexcept;
inline int32_t to_i32(lua_Number n) noexcept { return static_cast<int32_t>(to_u32(n)); }

// Arguments standing for 32-bit system values (codes, flags, modes, styles,
// indices, coordinates), lenient (anything but a number or numeric string
// reads as 0), strict (luaL_checknumber's error) and optional (none or nil:
// the default): the value as to_u32 takes it, the same under every host and
// architecture. Before Lua 5.3 the module converts the number itself, as the
// host's lua_tointeger gives 0x80000000 for 2^31 and above on many 32-bit
// builds; from 5.3 on an integer, or a string that Lua reads as one, is
// taken as it is, never through a double.
uint32_t to_u32(lua_State* L, int index);
uint32_t check_u32(lua_State* L, int index);
uint32_t opt_u32(lua_State* L, int index, uint32_t absent);
inline int32_t to_i32(lua_State* L, int index) { return static_cast<int32_t>(to_u32(L, index)); }
inline int32_t check_i32(lua_State* L, int index) { return static_cast<int32_t>(check_u32(L, index)); }
inline int32_t opt_i32(lua_State* L, int index, int32_t absent)
{
    return static_cast<int32_t>(opt_u32(L, index, static_cast<uint32_t>(absent)));
}

// Arguments that choose between behaviours (copy_file's mode, exec's wait):
// read on their whole value, truncated toward zero and saturated (NaN reads
// as 0), never cut to 32 bits, so 4294967297 is not 1. Lenient and optional
// (strict when given) as above.
int64_t to_choice(lua_State* L, int index);
int64_t opt_choice(lua_State* L, int index, int64_t absent);

// A byte count as the system's 32-bit count: false when it does not fit, and
// the call must be refused rather than handed the low bits.
inline bool to_dword(size_t n, DWORD& count) noexcept
{
    if (n > MAXDWORD)
        return false;
    count = static_cast<DWORD>(n);
    return true;
}

// Whole-number results and constants. Lua 5.3 and later get an integer, so
// 112 never shows as 112.0; earlier Luas a number, as 5.1's lua_Integer has
// only 32 bits on i686 and values of 2^31 and more must stay positive.
void push_whole(lua_State* L, int64_t value);

// ---- window-handle argument forms ------------------------------------------------

// Strict: a light userdata, else the argument error "HWND handle expected".
HWND check_hwnd(lua_State* L, int index);
// Lenient: any userdata gives its pointer; false (and no error) otherwise.
bool to_hwnd(lua_State* L, int index, HWND* window);
// Optional: a userdata's pointer, anything else the null handle.
HWND opt_hwnd(lua_State* L, int index);
// A non-null handle as light userdata, the null handle as nil.
void push_hwnd(lua_State* L, HWND window);
// Any value as a pointer, as Lua 5.1's lua_topointer reads it: an address for
// userdata, tables, functions and threads, null for the rest (Lua 5.4 would
// give strings theirs).
inline const void* to_pointer(lua_State* L, int index)
{
    return lua_type(L, index) == LUA_TSTRING ? nullptr : lua_topointer(L, index);
}

// ---- results ---------------------------------------------------------------------

// Pushes a text, or nil for null. Returns 1.
int push_text_or_nil(lua_State* L, const char* text);
// nil and the text of a failure that is not the system's; 2.
int push_nil_and(lua_State* L, const char* text);
// false/nil followed by the last-error text (nil when the system has none).
int push_failure_last_error(lua_State* L, bool nil_first = false);

#if LUA_VERSION_NUM >= 505
// A block from the Lua state's own allocator, freed through it unless
// released.
class lua_block {
public:
    lua_block(lua_State* L, size_t size) noexcept : alloc_(lua_getallocf(L, &ud_)), size_(size)
    {
        data_ = static_cast<char*>(alloc_(ud_, nullptr, LUA_TSTRING, size));
    }
    lua_block(const lua_block&) = delete;
    lua_block& operator=(const lua_block&) = delete;
    ~lua_block() { if (data_) alloc_(ud_, data_, size_, 0); }

    char* get() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    char* release() noexcept { return std::exchange(data_, nullptr); }

private:
    void* ud_; // set by lua_getallocf as alloc_ is initialised: declared first
    lua_Alloc alloc_;
    size_t size_;
    char* data_;
};

// Pushes the n bytes of `text`, a block of n + 1 bytes from the state's own
// allocator with a zero byte at n, as a string that Lua takes over without a
// copy; Lua frees the block, on its out-of-memory error as well.
void push_external(lua_State* L, char* text, size_t n);
#endif

// Pushes the n-byte string that fill(char* out) writes, unless it returns
// false (then nothing is pushed, and false returned). Short strings are made
// on the stack; from Lua 5.5 on longer ones in a block that becomes the
// string (push_external), else in a block Lua owns, and copied. Its only
// error is Lua's out-of-memory error.
template <typename Fill>
bool push_made(lua_State* L, size_t n, Fill&& fill)
{
    char stack[512];
    if (n <= sizeof stack) {
        if (!fill(stack))
            return false;
        lua_pushlstring(L, stack, n);
        return true;
    }
#if LUA_VERSION_NUM >= 505
    // The owner is gone before the push, which may raise. An allocator that
    // refuses gets another chance below, after Lua's emergency collection.
    char* made = nullptr;
    {
        lua_block block(L, n + 1);
        if (block) {
            if (!fill(block.get()))
                return false;
            block.get()[n] = '\0';
            made = block.release();
        }
    }
    if (made) {
        push_external(L, made, n);
        return true;
    }
#endif
    char* block = static_cast<char*>(lua_newuserdata(L, n));
    const bool filled = fill(block);
    if (filled)
        lua_pushlstring(L, block, n);
    lua_remove(L, filled ? -2 : -1);
    return filled;
}

} // namespace osbridge
