#pragma once
#include <cstddef>
#include <cstdint>

// The tags the TIFF codec reads and writes, the Compression codes it reports
// and takes, and its own messages; shared by the codec's source files only.
namespace TifTag {
inline constexpr uint16_t NewSubfileType = 254, ImageWidth = 256, ImageLength = 257, BitsPerSampleTag = 258,
                          CompressionTagId = 259, PhotometricTag = 262, FillOrderTag = 266, DocumentName = 269,
                          ImageDescription = 270, StripOffsets = 273, OrientationTag = 274, SamplesPerPixelTag = 277,
                          RowsPerStrip = 278, StripByteCounts = 279, XResolution = 282, YResolution = 283,
                          PlanarConfiguration = 284, T4Options = 292, T6Options = 293, ResolutionUnit = 296,
                          Artist = 315, PredictorTag = 317, ColorMapTag = 320, HalftoneHints = 321, TileWidthTag = 322,
                          TileLengthTag = 323, TileOffsets = 324, TileByteCounts = 325, SampleFormat = 339,
                          JpegTablesTag = 347, JpegInterchange = 513, JpegInterchangeLength = 514,
                          JpegRestartInterval = 515, JpegQTables = 519, JpegDCTables = 520, JpegACTables = 521,
                          YCbCrSubSampling = 530, Matteing = 32995, Copyright = 33432, IccProfileTag = 34675,
                          StoNitsTag = 37439;
} // namespace TifTag

// The most bytes of a text that the reader keeps, and so the writer stores.
inline constexpr size_t TifMaxTextLength = 240;

namespace TifCmp {
inline constexpr uint8_t None = 0, PackBits = 1, Thunder = 2, Lzw = 3, LzwPredict = 4, Huffman = 5, Group3 = 6,
                         Group4 = 7, OldJpeg = 10, Jpeg = 11, Deflate = 12, LogL16 = 15, LogLuv24 = 16, LogLuv32 = 17;
} // namespace TifCmp

namespace ImgMsg {
inline constexpr const char* TifTooLarge =
    "The image is too large for a TIFF file: it would pass the format's limit of 4 GB.";
inline constexpr const char* ImproperStrip = "Improper %s strip/tile size.";
inline constexpr const char* LzwValue = "Invalid %s LZW decompression value";
inline constexpr const char* LzwBogus = "Bogus LZW code detected!";
inline constexpr const char* DeflateError = "LZ77 %s decompression error.";
inline constexpr const char* JpegTables = "Bogus JPEG tables field.";
} // namespace ImgMsg
