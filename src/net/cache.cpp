// The internet client's URL cache and the trusted root certificate store,
// and two services this build has nothing behind.
#include "core/functions.h"
#include "core/handles_extra.h"
#include "core/osbridge.h"

#include <algorithm>
#include <cstdio>

namespace osbridge {

namespace {

constexpr DWORD first_entry_buffer = 40960;

// One cache entry record followed by its strings. `size` is the byte count
// handed to every enumeration call, which overwrite it (with the size they
// need when the block is too small); it is reset only with a new block.
class EntryBuffer {
public:
    bool allocate(DWORD bytes)
    {
        bytes = std::max<DWORD>(bytes, sizeof(INTERNET_CACHE_ENTRY_INFOW));
        block_.reset();
        block_ = calloc_array<unsigned char>(bytes);
        if (!block_)
            return false;
        entry()->dwStructSize = bytes;
        size = bytes;
        return true;
    }
    INTERNET_CACHE_ENTRY_INFOW* entry() const { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(block_.get()); }

    DWORD size = 0;

private:
    unique_malloc<unsigned char[]> block_;
};

// Runs one enumeration call; when the block is too small, once more in a
// block of the size the call asked for. On failure `error` holds the code,
// ERROR_INSUFFICIENT_BUFFER whenever the second try fails too.
template <typename Fetch>
bool fetch_entry(EntryBuffer& buffer, DWORD* error, Fetch fetch)
{
    if (fetch())
        return true;
    *error = ::GetLastError();
    if (*error != ERROR_INSUFFICIENT_BUFFER)
        return false;
    return buffer.allocate(buffer.size) && fetch();
}

// Deletes every entry but cookies. On failure `message` says which call failed.
bool delete_all_but_cookies(char* message, size_t capacity)
{
    const char* call = "FindFirstUrlCacheEntry";
    // Without the library the walk fails as its first call would.
    const Wininet* cache = late::wininet.get();
    DWORD error = cache ? ERROR_NOT_ENOUGH_MEMORY : ::GetLastError();
    EntryBuffer buffer;
    unique_url_cache_find find;
    bool fetched = cache && buffer.allocate(first_entry_buffer) && fetch_entry(buffer, &error, [&] {
        find.reset(cache->FindFirstUrlCacheEntryW(nullptr, buffer.entry(), &buffer.size));
        return static_cast<bool>(find);
    });
    while (fetched) {
        const INTERNET_CACHE_ENTRY_INFOW* entry = buffer.entry();
        // An entry that cannot be deleted (in use, say) stays behind.
        if (!(entry->CacheEntryType & COOKIE_CACHE_ENTRY) && entry->lpszSourceUrlName)
            cache->DeleteUrlCacheEntryW(entry->lpszSourceUrlName);
        call = "FindNextUrlCacheEntry";
        fetched = fetch_entry(buffer, &error, [&] {
            return cache->FindNextUrlCacheEntryW(find.get(), buffer.entry(), &buffer.size) != FALSE;
        });
    }
    if (error == ERROR_NO_MORE_ITEMS)
        return true;
    if (error == ERROR_INSUFFICIENT_BUFFER)
        std::snprintf(message, capacity, "%s() failed, error: ERROR_INSUFFICIENT_BUFFER", call);
    else
        // Signed, as the established message form has it: codes with the top bit set read negative.
        std::snprintf(message, capacity, "%s() failed, error: %ld", call, static_cast<long>(static_cast<int32_t>(error)));
    return false;
}

void describe_add_failure(char* message, size_t capacity, DWORD code, DWORD length)
{
    const char* prefix = "CertAddEncodedCertificateToStore() error: ";
    switch (code) {
    case static_cast<DWORD>(E_INVALIDARG):
        std::snprintf(message, capacity, "%scertificate invalid", prefix);
        break;
    case static_cast<DWORD>(CRYPT_E_EXISTS):
        std::snprintf(message, capacity, "%scertificate already exists", prefix);
        break;
    case static_cast<DWORD>(CRYPT_E_ASN1_EOD):
        std::snprintf(message, capacity, "%sASN1 unexpected end of data (%lu)", prefix,
                      static_cast<unsigned long>(length));
        break;
    default:
        std::snprintf(message, capacity, "%s0x%lx", prefix, static_cast<unsigned long>(code));
    }
}

bool add_to_root_store(const char* data, size_t length, DWORD disposition, char* message, size_t capacity)
{
    // Refused before the store is opened: the system would read only the low
    // 32 bits of the length, and so another certificate.
    DWORD count = 0;
    if (!to_dword(length, count)) {
        std::snprintf(message, capacity, "CertAddEncodedCertificateToStore() error: data too long (%llu bytes)",
                      static_cast<unsigned long long>(length));
        return false;
    }
    // Without the library the store cannot be opened, and says so alike.
    const Crypt32* certificates = late::crypt32.get();
    const unique_cert_store store(certificates ? certificates->CertOpenSystemStoreW(0, L"ROOT") : nullptr);
    if (!store) {
        std::snprintf(message, capacity, "CertAddEncodedCertificateToStore() error: 0x%lx",
                      static_cast<unsigned long>(::GetLastError()));
        return false;
    }
    unique_cert_context added;
    if (!certificates->CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(data),
                                                        count, disposition, added.put())) {
        describe_add_failure(message, capacity, ::GetLastError(), count);
        return false;
    }
    return true;
}

} // namespace

int get_net_adapters_info(lua_State* L)
{
    lua_pushnil(L);
    lua_pushstring(L, "not supported");
    return 2;
}

int phone_makecall(lua_State* L)
{
    lua_pushboolean(L, 0);
    lua_pushstring(L, "PhoneMakeCall() is not supported");
    return 2;
}

int clear_browser_cache(lua_State* L)
{
    char message[96];
    if (delete_all_but_cookies(message, sizeof message)) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushboolean(L, 0);
    lua_pushstring(L, message);
    return 2;
}

int add_cert_to_store(lua_State* L)
{
    size_t length = 0;
    const char* data = luaL_checklstring(L, 1, &length);
    const DWORD disposition = opt_u32(L, 2, CERT_STORE_ADD_USE_EXISTING);
    char message[128];
    if (add_to_root_store(data, length, disposition, message, sizeof message)) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushboolean(L, 0);
    lua_pushstring(L, message);
    return 2;
}

} // namespace osbridge
