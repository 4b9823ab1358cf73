// The byte loops behind crc16, to_hex and from_hex: a portable path and a
// vector path chosen once by what the processor reports. Both give the same
// results; the `_on` forms let tests run either path on purpose.
#pragma once

#include <cstddef>
#include <cstdint>

namespace osbridge {
namespace codec {

enum class Path { portable, vector };

// Whether the vector path of each kernel can run on this processor.
bool crc16_vector_available();
bool hex_vector_available();

// CRC-16/ARC of n bytes, continuing from `crc` (0 to start).
uint16_t crc16(uint16_t crc, const unsigned char* data, size_t n);
uint16_t crc16_on(Path path, uint16_t crc, const unsigned char* data, size_t n);

// Writes 2n upper-case hexadecimal digits.
void hex_encode(const unsigned char* data, size_t n, char* out);
void hex_encode_on(Path path, const unsigned char* data, size_t n, char* out);

// Decodes 2n digits of either case into n bytes; false when a character is
// not a hexadecimal digit (`out` then holds garbage).
bool hex_decode(const char* text, size_t n, unsigned char* out);
bool hex_decode_on(Path path, const char* text, size_t n, unsigned char* out);

} // namespace codec
} // namespace osbridge
