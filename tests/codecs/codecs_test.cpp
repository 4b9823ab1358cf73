// The CRC and hexadecimal kernels against plain byte-wise references, on
// every path of each kernel that the processor can run, whatever it would
// pick: every alignment, random lengths up to 4096, and 64 MiB. The runs
// under emulated processors without SSE2 or PCLMULQDQ name the paths they
// expect in OSB_EXPECT_PATHS, which the dispatch test compares.
#include "unit.h"

#include "codecs/kernels.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace osbridge::codec;

namespace {

uint16_t reference_crc(const unsigned char* data, size_t n)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

std::string reference_hex(const unsigned char* data, size_t n)
{
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        text += pair;
    }
    return text;
}

// Deterministic bytes, the same on every run.
std::vector<unsigned char> noise(size_t n, uint32_t seed)
{
    std::vector<unsigned char> bytes(n);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return bytes;
}

// The paths of one kernel that this processor runs: the vector one only
// where it has the instructions.
std::vector<Path> paths(bool vector_available)
{
    if (vector_available)
        return {Path::portable, Path::vector};
    return {Path::portable};
}

const char* name(Path path) { return path == Path::vector ? "vector" : "portable"; }

const char* name(bool vector_available) { return name(vector_available ? Path::vector : Path::portable); }

// Runs check(path, data, n) over random lengths 0..4096 at each of 16 offsets.
template <typename Check>
void over_lengths_and_alignments(bool vector_available, Check check)
{
    const std::vector<unsigned char> source = noise(4096 + 16, 12345);
    uint32_t seed = 777;
    for (Path path : paths(vector_available)) {
        for (size_t offset = 0; offset < 16; ++offset) {
            for (int round = 0; round < 24; ++round) {
                seed = seed * 1664525u + 1013904223u;
                const size_t n = round < 4 ? static_cast<size_t>(round * 16 + offset) : (seed >> 8) % 4097;
                check(path, source.data() + offset, n);
            }
        }
    }
}

} // namespace

TEST(codec_paths_follow_the_processor)
{
    char chosen[64];
    std::snprintf(chosen, sizeof chosen, "crc16=%s hex=%s", name(crc16_vector_available()),
                  name(hex_vector_available()));
    std::printf("codec paths: %s\n", chosen);
    if (const char* expected = std::getenv("OSB_EXPECT_PATHS"); expected && *expected)
        ok(std::strcmp(chosen, expected) == 0, "the codecs chose %s, expected %s", chosen, expected);
}

TEST(crc16_paths_match_the_bytewise_reference)
{
    over_lengths_and_alignments(crc16_vector_available(), [](Path path, const unsigned char* data, size_t n) {
        const uint16_t expected = reference_crc(data, n);
        const uint16_t got = crc16_on(path, 0, data, n);
        ok(got == expected, "%s crc16 of %u bytes at %p: %04x, expected %04x", name(path), unsigned(n),
           static_cast<const void*>(data), got, expected);
        // Continuing from a running value is the same as one pass.
        const size_t split = n / 3;
        const uint16_t chained = crc16_on(path, crc16_on(path, 0, data, split), data + split, n - split);
        ok(chained == expected, "%s crc16 split at %u of %u: %04x, expected %04x", name(path), unsigned(split),
           unsigned(n), chained, expected);
    });
    const unsigned char check[] = "123456789";
    ok(crc16(0, check, 9) == 0xBB3D, "dispatched crc16 of the check string: %04x", crc16(0, check, 9));
}

TEST(hex_paths_match_the_bytewise_reference)
{
    over_lengths_and_alignments(hex_vector_available(), [](Path path, const unsigned char* data, size_t n) {
        const std::string expected = reference_hex(data, n);
        std::vector<char> text(2 * n + 32, '#');
        hex_encode_on(path, data, n, text.data() + 1);
        ok(std::string(text.data() + 1, 2 * n) == expected && text[0] == '#' && text[2 * n + 1] == '#',
           "%s to_hex of %u bytes differs or writes outside its block", name(path), unsigned(n));
        // Decoded back from lower case, at an odd address.
        for (char& c : text)
            c = static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c);
        std::vector<unsigned char> back(n + 16, 0xEE);
        ok(hex_decode_on(path, text.data() + 1, n, back.data()) && std::memcmp(back.data(), data, n) == 0
               && back[n] == 0xEE,
           "%s from_hex of %u bytes differs or writes outside its block", name(path), unsigned(n));
    });
}

TEST(hex_decoders_reject_every_non_digit_anywhere)
{
    std::string digits;
    for (int c = 0; c < 256; ++c)
        if (!std::strchr("0123456789ABCDEFabcdef", c) || c == 0)
            digits += static_cast<char>(c);
    for (Path path : paths(hex_vector_available())) {
        for (size_t position = 0; position < 70; ++position) {
            for (char bad : digits) {
                std::string text(70, 'a');
                text[position] = bad;
                unsigned char out[35];
                ok(!hex_decode_on(path, text.data(), 35, out), "%s from_hex took 0x%02x at %u", name(path),
                   static_cast<unsigned char>(bad), unsigned(position));
            }
        }
    }
}

TEST(codecs_on_64_mib)
{
    const size_t n = size_t{64} << 20;
    const std::vector<unsigned char> data = noise(n + 1, 99);
    const uint16_t expected = reference_crc(data.data() + 1, n);
    std::vector<char> text(2 * n);
    std::vector<unsigned char> back(n);
    for (Path path : paths(crc16_vector_available())) {
        const uint16_t got = crc16_on(path, 0, data.data() + 1, n);
        ok(got == expected, "%s crc16 of 64 MiB: %04x, expected %04x", name(path), got, expected);
    }
    for (Path path : paths(hex_vector_available())) {
        hex_encode_on(path, data.data() + 1, n, text.data());
        ok(std::memcmp(text.data(), reference_hex(data.data() + 1, 4096).data(), 8192) == 0
               && std::memcmp(text.data() + 2 * n - 8192, reference_hex(data.data() + 1 + n - 4096, 4096).data(), 8192)
                      == 0,
           "%s to_hex of 64 MiB differs at its ends", name(path));
        ok(hex_decode_on(path, text.data(), n, back.data()) && std::memcmp(back.data(), data.data() + 1, n) == 0,
           "%s from_hex of 64 MiB does not give the bytes back", name(path));
    }
}
