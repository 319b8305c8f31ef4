#pragma once
#include <cstddef>
#include <cstdint>

// Undoing the PNG row filters, which together with the inflate is the whole
// cost of decoding a PNG.
namespace Png {

// Undoes filter Type (0 to 4; other values leave the row as it is) of the N
// bytes of Row, Prev being the row above already undone (zeros for the first
// row of an image or pass) and Bpp the bytes of a pixel, at least 1.
void Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N, size_t Bpp);

} // namespace Png
