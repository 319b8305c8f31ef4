#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Windows-1252 is what the settings record holds, so records written on
// Windows read the same here. The five bytes Windows leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number,
// as Windows itself does, so every byte survives a round trip.

// UTF-8 text of Count Windows-1252 bytes.
std::string Cp1252ToUtf8(const uint8_t* Bytes, size_t Count);

// Windows-1252 bytes of UTF-8 text: one byte per character; a character
// without a byte, and each byte of a malformed sequence, becomes "?".
// Lossless (when given) tells whether nothing was replaced.
std::string Utf8ToCp1252(std::string_view Utf8, bool* Lossless = nullptr);
