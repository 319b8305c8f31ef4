#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

// The small run codings of TIFF that only this format uses.

// ThunderScan 4-bit: decodes one strip into Out, rows of RowBytes bytes
// (two pixels per byte, high nibble first) of Width pixels each, Out cleared
// first. Answers the rows completed; never writes past Out or past a row.
int32_t ThunderScanDecode(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Width, int32_t RowBytes);

// SGI LogLuv run-length coding: one row of Width pixels of Planes bytes each
// (2 for LogL, 4 for LogLuv), stored as byte planes, most significant first.
// Decodes from P (left after the codes used) into Row, Width * Planes bytes,
// pixel bytes most significant first. False when the input ends before the
// row is complete; what was decoded stays and the rest is zero.
bool LogLuvRleRow(const uint8_t*& P, const uint8_t* End, std::span<uint8_t> Row, int32_t Width, int32_t Planes);
