// Owning wrappers for system handles and heap blocks: one line per kind, the
// kind's "empty" value part of its type, so a wrapper is either empty or owns.
#pragma once

#include <windows.h>
#include <cstdlib>
#include <memory>
#include <utility>

namespace osbridge {

template <typename Traits>
class unique_any {
public:
    using type = typename Traits::type;
    unique_any() noexcept = default;
    explicit unique_any(type value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept { reset(other.release()); return *this; }
    ~unique_any() { reset(); }

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::empty(); }
    // For out-parameters: drops what is held and hands out the slot.
    type* put() noexcept { reset(); return &value_; }
    type release() noexcept { return std::exchange(value_, Traits::empty()); }
    void reset(type value = Traits::empty()) noexcept
    {
        if (value_ != Traits::empty()) Traits::close(value_);
        value_ = value;
    }

private:
    type value_ = Traits::empty();
};

#define OSBRIDGE_HANDLE_KIND(name, T, emptyValue, closeCall) \
    struct name##_traits { using type = T; static type empty() { return emptyValue; } static void close(type h) { closeCall; } }; \
    using name = unique_any<name##_traits>

// Kernel objects whose failure value is null (processes, threads, events, ...).
OSBRIDGE_HANDLE_KIND(unique_handle, HANDLE, nullptr, ::CloseHandle(h));
// Kernel objects whose failure value is INVALID_HANDLE_VALUE (files, snapshots).
OSBRIDGE_HANDLE_KIND(unique_file, HANDLE, INVALID_HANDLE_VALUE, ::CloseHandle(h));
OSBRIDGE_HANDLE_KIND(unique_find, HANDLE, INVALID_HANDLE_VALUE, ::FindClose(h));
OSBRIDGE_HANDLE_KIND(unique_hlocal, HLOCAL, nullptr, ::LocalFree(h));
OSBRIDGE_HANDLE_KIND(unique_hglobal, HGLOBAL, nullptr, ::GlobalFree(h));
OSBRIDGE_HANDLE_KIND(unique_hmodule, HMODULE, nullptr, ::FreeLibrary(h));

// A global block locked for the lifetime of the wrapper.
class global_lock {
public:
    explicit global_lock(HGLOBAL block) noexcept : block_(block), data_(::GlobalLock(block)) {}
    global_lock(const global_lock&) = delete;
    global_lock& operator=(const global_lock&) = delete;
    ~global_lock() { if (data_) ::GlobalUnlock(block_); }
    void* get() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    HGLOBAL block_;
    void* data_;
};

// The clipboard, open for the lifetime of the wrapper.
class clipboard_session {
public:
    explicit clipboard_session(HWND owner) noexcept : open_(::OpenClipboard(owner) != FALSE) {}
    clipboard_session(const clipboard_session&) = delete;
    clipboard_session& operator=(const clipboard_session&) = delete;
    ~clipboard_session() { if (open_) ::CloseClipboard(); }
    explicit operator bool() const noexcept { return open_; }

private:
    bool open_;
};

// The thread's error mode with the system's boxes for a missing medium off,
// for the lifetime of the wrapper.
class no_error_boxes {
public:
    no_error_boxes() noexcept { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
    no_error_boxes(const no_error_boxes&) = delete;
    no_error_boxes& operator=(const no_error_boxes&) = delete;
    ~no_error_boxes() { ::SetThreadErrorMode(previous_, nullptr); }

private:
    DWORD previous_ = 0;
};

// A thread that is waited for before what it works on goes. A thread still
// blocked in a pipe that some process outside the job holds open gets its
// I/O cancelled after `grace` milliseconds.
class joined_thread {
public:
    joined_thread(LPTHREAD_START_ROUTINE routine, void* parameter) noexcept
        : handle_(::CreateThread(nullptr, 0, routine, parameter, 0, nullptr))
    {
    }
    joined_thread(const joined_thread&) = delete;
    joined_thread& operator=(const joined_thread&) = delete;
    ~joined_thread() { join(0); }
    explicit operator bool() const noexcept { return static_cast<bool>(handle_); }
    HANDLE get() const noexcept { return handle_.get(); }

    void join(DWORD grace) noexcept
    {
        if (!handle_)
            return;
        if (::WaitForSingleObject(handle_.get(), grace) == WAIT_TIMEOUT) {
            while (::WaitForSingleObject(handle_.get(), 50) == WAIT_TIMEOUT)
                ::CancelSynchronousIo(handle_.get());
        }
        handle_.reset();
    }

private:
    unique_handle handle_;
};

// Blocks from the C heap (malloc/calloc), such as converted texts.
struct free_deleter { void operator()(void* p) const noexcept { std::free(p); } };
template <typename T>
using unique_malloc = std::unique_ptr<T, free_deleter>;
using WideText = unique_malloc<wchar_t[]>;
using AnsiText = unique_malloc<char[]>;

template <typename T>
unique_malloc<T[]> calloc_array(size_t count) noexcept
{
    return unique_malloc<T[]>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

// The list of handles a child inherits, for the lifetime of the wrapper.
class inherited_handles {
public:
    inherited_handles(HANDLE* handles, size_t count) noexcept
    {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        block_.reset(static_cast<char*>(std::malloc(size)));
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(block_.get());
        if (!list || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            block_.reset();
            return;
        }
        list_ = list;
        if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE),
                                         nullptr, nullptr))
            list_ = nullptr;
    }
    inherited_handles(const inherited_handles&) = delete;
    inherited_handles& operator=(const inherited_handles&) = delete;
    ~inherited_handles()
    {
        if (block_)
            ::DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(block_.get()));
    }
    // Null when the list could not be made.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_; }

private:
    AnsiText block_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

} // namespace osbridge
