// CRC-16/ARC and hexadecimal digits at memory speed.
//
// The portable CRC reads 16 bytes per step through 16 derived tables. The
// vector CRC folds 64-byte strides with carry-less multiplication and hands
// the last 16-byte remainder to the tables; the hexadecimal loops take 16
// bytes per step with SSE2. The vector code is compiled for its instruction
// set function by function, so both builds carry it and use it only where
// the processor reports the instructions.
#include "codecs/kernels.h"

#include <array>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
#define OSBRIDGE_X86 1
#include <emmintrin.h>
#include <wmmintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#define OSBRIDGE_TARGET(features)
#else
#include <cpuid.h>
#define OSBRIDGE_TARGET(features) __attribute__((target(features)))
#endif
#endif

namespace osbridge {
namespace codec {

namespace {

// ---- CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR --

using CrcTables = std::array<std::array<uint16_t, 256>, 16>;

// tables[k][b]: the CRC of byte b followed by k zero bytes.
constexpr CrcTables make_crc_tables()
{
    CrcTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            r = static_cast<uint16_t>((r & 1) ? (r >> 1) ^ 0xA001 : r >> 1);
        tables[0][i] = r;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (unsigned i = 0; i < 256; ++i)
            tables[k][i] = static_cast<uint16_t>((tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF]);
    return tables;
}

constexpr CrcTables crc_tables = make_crc_tables();
static_assert(crc_tables[0][1] == 0xC0C1 && crc_tables[0][128] == 0xA001 && crc_tables[0][255] == 0x4040);

uint16_t crc16_portable(uint16_t crc, const unsigned char* p, size_t n)
{
    const auto& t = crc_tables;
    for (; n >= 16; p += 16, n -= 16) {
        crc = static_cast<uint16_t>(
            t[15][(p[0] ^ crc) & 0xFF] ^ t[14][p[1] ^ (crc >> 8)] ^ t[13][p[2]] ^ t[12][p[3]] ^ t[11][p[4]]
            ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]]
            ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]]);
    }
    for (; n; ++p, --n)
        crc = static_cast<uint16_t>((crc >> 8) ^ t[0][(crc ^ *p) & 0xFF]);
    return crc;
}

// ---- hexadecimal digits --------------------------------------------------------

constexpr char upper_digits[] = "0123456789ABCDEF";

struct HexTables {
    std::array<std::array<char, 2>, 256> pair{};
    std::array<int8_t, 256> value{};
};

constexpr HexTables make_hex_tables()
{
    HexTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        t.pair[i] = {upper_digits[i >> 4], upper_digits[i & 0x0F]};
        t.value[i] = i >= '0' && i <= '9'   ? static_cast<int8_t>(i - '0')
                     : i >= 'A' && i <= 'F' ? static_cast<int8_t>(i - 'A' + 10)
                     : i >= 'a' && i <= 'f' ? static_cast<int8_t>(i - 'a' + 10)
                                            : int8_t{-1};
    }
    return t;
}

constexpr HexTables hex_tables = make_hex_tables();

void hex_encode_portable(const unsigned char* data, size_t n, char* out)
{
    for (size_t i = 0; i < n; ++i, out += 2)
        std::memcpy(out, hex_tables.pair[data[i]].data(), 2);
}

bool hex_decode_portable(const char* text, size_t n, unsigned char* out)
{
    int bad = 0;
    for (size_t i = 0; i < n; ++i, text += 2) {
        const int high = hex_tables.value[static_cast<unsigned char>(text[0])];
        const int low = hex_tables.value[static_cast<unsigned char>(text[1])];
        bad |= high | low;
        out[i] = static_cast<unsigned char>((high & 0x0F) << 4 | (low & 0x0F));
    }
    return bad >= 0;
}

#if OSBRIDGE_X86

struct CpuFeatures {
    bool sse2 = false;
    bool pclmul = false;
};

CpuFeatures read_cpu_features()
{
    CpuFeatures features;
#if defined(_MSC_VER)
    int regs[4];
    __cpuid(regs, 0);
    if (regs[0] < 1)
        return features;
    __cpuid(regs, 1);
    const unsigned ecx = static_cast<unsigned>(regs[2]), edx = static_cast<unsigned>(regs[3]);
#else
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return features;
#endif
    // Each kernel goes by its own instructions: processors with SSE2 but no
    // PCLMULQDQ (older than Westmere) take the vector hexadecimal loops and
    // the table CRC. The vector CRC needs SSE2 as well.
    features.sse2 = (edx >> 26) & 1;
    features.pclmul = features.sse2 && ((ecx >> 1) & 1);
    return features;
}

// Read once while the library loads, before any Lua state can call in.
const CpuFeatures cpu = read_cpu_features();

// x^k mod P (P = x^16 + x^15 + x^2 + 1) in the reflected 64-bit form that
// multiplies a reflected 64-bit half: coefficient d at bit 63 - d.
constexpr uint64_t reflected_power(unsigned k)
{
    uint32_t r = 1;
    for (unsigned i = 0; i < k; ++i) {
        r <<= 1;
        if (r & 0x10000)
            r ^= 0x18005;
    }
    uint64_t out = 0;
    for (unsigned d = 0; d < 16; ++d)
        if ((r >> d) & 1)
            out |= uint64_t{1} << (63 - d);
    return out;
}

// Multipliers that move a 128-bit block `bits` further along: the product of
// two reflected halves comes out one place short, hence the exponents less
// one. The first half of a block holds the higher powers.
struct FoldConstants {
    uint64_t first, second;
};

constexpr FoldConstants fold_constants(unsigned bits)
{
    return {reflected_power(bits + 63), reflected_power(bits - 1)};
}

constexpr FoldConstants fold_by_512 = fold_constants(512), fold_by_128 = fold_constants(128);

OSBRIDGE_TARGET("pclmul,sse2")
inline __m128i constants(FoldConstants k)
{
    return _mm_set_epi64x(static_cast<long long>(k.second), static_cast<long long>(k.first));
}

OSBRIDGE_TARGET("pclmul,sse2")
inline __m128i fold(__m128i block, __m128i by, __m128i next)
{
    const __m128i first = _mm_clmulepi64_si128(block, by, 0x00);
    const __m128i second = _mm_clmulepi64_si128(block, by, 0x11);
    return _mm_xor_si128(_mm_xor_si128(first, second), next);
}

OSBRIDGE_TARGET("pclmul,sse2")
inline __m128i load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the data down to 16 bytes congruent to it modulo P; their CRC from
// zero is the CRC of everything folded.
OSBRIDGE_TARGET("pclmul,sse2")
uint16_t crc16_vector(uint16_t crc, const unsigned char* p, size_t n)
{
    if (n < 64)
        return crc16_portable(crc, p, n);
    // The running CRC enters as the first two bytes' complement.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(crc));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;
    const __m128i by512 = constants(fold_by_512);
    for (; n >= 64; p += 64, n -= 64) {
        x0 = fold(x0, by512, load(p));
        x1 = fold(x1, by512, load(p + 16));
        x2 = fold(x2, by512, load(p + 32));
        x3 = fold(x3, by512, load(p + 48));
    }
    const __m128i by128 = constants(fold_by_128);
    x0 = fold(fold(fold(x0, by128, x1), by128, x2), by128, x3);
    for (; n >= 16; p += 16, n -= 16)
        x0 = fold(x0, by128, load(p));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x0);
    return crc16_portable(crc16_portable(0, rest, sizeof rest), p, n);
}

// Sixteen nibbles (0..15) as upper-case digits.
OSBRIDGE_TARGET("sse2")
inline __m128i digits(__m128i nibbles)
{
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8('A' - '9' - 1));
    return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters);
}

OSBRIDGE_TARGET("sse2")
void hex_encode_vector(const unsigned char* data, size_t n, char* out)
{
    const __m128i low_nibble = _mm_set1_epi8(0x0F);
    for (; n >= 16; data += 16, n -= 16, out += 32) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble);
        const __m128i low = _mm_and_si128(bytes, low_nibble);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), digits(_mm_unpacklo_epi8(high, low)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), digits(_mm_unpackhi_epi8(high, low)));
    }
    hex_encode_portable(data, n, out);
}

// Sixteen digits as eight bytes, one per 16-bit lane; `valid` loses the
// lanes of characters that are no digits. Compares are signed, so bytes of
// 0x80 and above fail every range.
OSBRIDGE_TARGET("sse2")
inline __m128i decode_digits(const char* text, __m128i& valid)
{
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i is_decimal = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)),
                                             _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
    const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
    const __m128i is_letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                            _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    valid = _mm_and_si128(valid, _mm_or_si128(is_decimal, is_letter));
    const __m128i values = _mm_or_si128(_mm_and_si128(is_decimal, _mm_sub_epi8(c, _mm_set1_epi8('0'))),
                                        _mm_and_si128(is_letter, _mm_sub_epi8(lower, _mm_set1_epi8('a' - 10))));
    // Each lane holds the high digit in its first byte, the low one in its second.
    return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(values, _mm_set1_epi16(0x00FF)), 4),
                        _mm_srli_epi16(values, 8));
}

OSBRIDGE_TARGET("sse2")
bool hex_decode_vector(const char* text, size_t n, unsigned char* out)
{
    __m128i valid = _mm_set1_epi8(-1);
    for (; n >= 16; text += 32, n -= 16, out += 16) {
        const __m128i first = decode_digits(text, valid);
        const __m128i second = decode_digits(text + 16, valid);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(first, second));
    }
    return _mm_movemask_epi8(valid) == 0xFFFF && hex_decode_portable(text, n, out);
}

#endif // OSBRIDGE_X86

} // namespace

#if OSBRIDGE_X86

bool crc16_vector_available() { return cpu.pclmul; }
bool hex_vector_available() { return cpu.sse2; }

uint16_t crc16_on(Path path, uint16_t crc, const unsigned char* data, size_t n)
{
    return path == Path::vector ? crc16_vector(crc, data, n) : crc16_portable(crc, data, n);
}

void hex_encode_on(Path path, const unsigned char* data, size_t n, char* out)
{
    path == Path::vector ? hex_encode_vector(data, n, out) : hex_encode_portable(data, n, out);
}

bool hex_decode_on(Path path, const char* text, size_t n, unsigned char* out)
{
    return path == Path::vector ? hex_decode_vector(text, n, out) : hex_decode_portable(text, n, out);
}

#else

bool crc16_vector_available() { return false; }
bool hex_vector_available() { return false; }

uint16_t crc16_on(Path, uint16_t crc, const unsigned char* data, size_t n) { return crc16_portable(crc, data, n); }
void hex_encode_on(Path, const unsigned char* data, size_t n, char* out) { hex_encode_portable(data, n, out); }
bool hex_decode_on(Path, const char* text, size_t n, unsigned char* out) { return hex_decode_portable(text, n, out); }

#endif

uint16_t crc16(uint16_t crc, const unsigned char* data, size_t n)
{
    return crc16_on(crc16_vector_available() ? Path::vector : Path::portable, crc, data, n);
}

void hex_encode(const unsigned char* data, size_t n, char* out)
{
    hex_encode_on(hex_vector_available() ? Path::vector : Path::portable, data, n, out);
}

bool hex_decode(const char* text, size_t n, unsigned char* out)
{
    return hex_decode_on(hex_vector_available() ? Path::vector : Path::portable, text, n, out);
}

} // namespace codec
} // namespace osbridge
