#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "DrawSurface.h"
#include "Errors.h"
#include "PixelLayout.h"
#include "Rects.h"
#include "RgbTypes.h"

inline constexpr int32_t BitmapInfoHeaderSize = 40;

// Frees a pixel block by the way its size had it allocated.
// Huge pages for buffers written across rows (the targets of transposes),
// where each row on a page of its own would miss the address cache.
enum class TPixelPages { Normal, Huge };

struct TPixelDeleter {
  size_t Size = 0;
  void operator()(uint8_t* P) const;
};

// A zeroed block of Size bytes allocated as pixel buffers are, for work
// buffers as large as an image; null when the memory is not there.
std::unique_ptr<uint8_t, TPixelDeleter> AllocPixelBlock(size_t Size);

// The one in-memory image: a device-independent bitmap with header, palette
// and top-down rows padded to four bytes, so it can be drawn, printed and put
// on the clipboard without conversion.
// The header fields of a packed bitmap that place its rows.
struct TPackedDibInfo {
  uint32_t HeaderSize = 0, Bits = 0, Compression = 0, ColorsUsed = 0;
  int32_t Width = 0, Height = 0, PelsPerMetre = 0;
  bool Core = false;         // 12-byte header with 3-byte palette entries
  uint64_t ColorEntries = 0; // palette entries and masks before the rows
  uint64_t RowsStart() const { return HeaderSize + ColorEntries * (Core ? 3 : 4); }
};
// False when the block is too short for its header or the header's size is
// unknown; nothing else is checked.
bool ReadPackedDibInfo(std::span<const uint8_t> Packed, TPackedDibInfo& Info);

class TDib {
public:
  TDib(int32_t AWidth, int32_t AHeight, TPixelFormat APixelFormat, TPixelPages Pages = TPixelPages::Normal);
  TDib(const TDib&) = delete;
  TDib& operator=(const TDib&) = delete;
  TDib(TDib&&) noexcept;
  TDib& operator=(TDib&&) noexcept;
  ~TDib();

  std::unique_ptr<TDib> Clone() const;
  static std::unique_ptr<TDib> CreateLike(int32_t AWidth, int32_t AHeight, const TDib& Source,
                                          TPixelPages Pages = TPixelPages::Normal);
  void CopyAttributes(const TDib& Source);
  void CopyPalette(const TDib& Source);

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  int32_t RowBytes() const { return FRowBytes; }
  int32_t ImageSize() const { return FImageSize; }
  int32_t PaletteSize() const { return FPaletteSize; }
  int32_t BitCount() const;
  int32_t Resolution() const { return FResolution; }
  void SetResolution(int32_t Dpi);

  // Callers lock before using Bits. The block never moves, so both only keep
  // the bookkeeping of who holds the image.
  void Lock() { FLocked = true; }
  void Unlock() { FLocked = false; }
  uint8_t* Bits() { return FBits.get(); }
  const uint8_t* Bits() const { return FBits.get(); }
  uint8_t* ScanLine(int32_t Y) { return FBits.get() + size_t(Y) * size_t(FRowBytes); }
  const uint8_t* ScanLine(int32_t Y) const { return FBits.get() + size_t(Y) * size_t(FRowBytes); }
  std::span<uint8_t> Row(int32_t Y) { return {ScanLine(Y), size_t(FRowBytes)}; }
  std::span<const uint8_t> Row(int32_t Y) const { return {ScanLine(Y), size_t(FRowBytes)}; }

  // The 40-byte header followed by PaletteSize entries (blue, green, red, 0).
  const uint8_t* BitmapInfo() const { return FBitmapInfo.data(); }
  int32_t BitmapInfoSize() const { return int32_t(FBitmapInfo.size()); }
  uint8_t* PaletteEntries() { return FBitmapInfo.data() + BitmapInfoHeaderSize; }
  const uint8_t* PaletteEntries() const { return FBitmapInfo.data() + BitmapInfoHeaderSize; }

  // Pixel access; x and y are not checked, the caller stays inside. Values are
  // palette indexes, packed 5-5-5 words, or colors (0x00BBGGRR) for 24 and 32
  // bits, so that GetPixelValue and SetPixelValue are exact inverses.
  uint32_t GetPixelValue(int32_t X, int32_t Y) const { return FGetPixelValue(*this, X, Y); }
  void SetPixelValue(int32_t X, int32_t Y, uint32_t Value) { FSetPixelValue(*this, X, Y, Value); }
  TColor GetPixelColor(int32_t X, int32_t Y) const { return FGetPixelColor(*this, X, Y); }
  void SetPixelColor(int32_t X, int32_t Y, TColor Color);
  void SwapPixels(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) { FSwapPixels(*this, X1, Y1, X2, Y2); }
  // Row Y as colors, as GetPixelColor gives them, without a call per pixel.
  void GetRowColors(int32_t Y, std::span<TColor> Colors) const;

  TColor GetPaletteColor(int32_t I) const;
  void SetPaletteColor(int32_t I, TColor Color);
  struct TRgbBytes {
    uint8_t R, G, B;
  };
  TRgbBytes GetPaletteRGB(int32_t I) const;
  void SetPaletteRGB(int32_t I, TColor Color) { SetPaletteColor(I, Color); }
  int32_t NearestPaletteIndex(TColor Color) const;
  void MakeGrayPalette();
  void DetectGray();

  void Invert();
  void MirrorUpDown();
  void MirrorLeftRight();
  // Angles in degrees, clockwise; quarter turns of non-square images change
  // the size and so replace the whole buffer.
  void Rotate(int32_t Angle);
  void Fill(TColor Color);
  void Crop(int32_t X, int32_t Y, int32_t W, int32_t H);
  std::unique_ptr<TDib> ScaledCopy(int32_t W, int32_t H) const;
  void ConvertTo24();
  int32_t CountColors() const;

  // Packed device-independent bitmap: header, palette or masks, rows bottom-up.
  // The block may come from another program: every size in it is checked, and
  // a block that does not hold what its header claims fails.
  static std::unique_ptr<TDib> FromGlobalDib(std::span<const uint8_t> Packed);
  std::vector<uint8_t> ToGlobalDib() const;

  int32_t Zoom() const { return FZoom; }
  int32_t ZoomedWidth() const { return FZoomedWidth; }
  int32_t ZoomedHeight() const { return FZoomedHeight; }
  int32_t TileSrc() const { return FTileSrc; }
  int32_t TileDst() const { return FTileDst; }
  void SetZoom(int32_t Z);
  bool Tiled = false;
  bool IsGray = false;
  TDrawSurface* Canvas = nullptr;
  void Draw();
  void DrawAt(int32_t X, int32_t Y);
  void DrawRect(const TRect& Dest, const TRect& Source);
  void DrawZoomed();

private:
  using TGetValue = uint32_t (*)(const TDib&, int32_t, int32_t);
  using TSetValue = void (*)(TDib&, int32_t, int32_t, uint32_t);
  using TGetColor = TColor (*)(const TDib&, int32_t, int32_t);
  using TSwap = void (*)(TDib&, int32_t, int32_t, int32_t, int32_t);

  void FillHeader();
  void ReplaceWith(std::unique_ptr<TDib> Other);
  void RotateQuarter(bool Clockwise);

  int32_t FWidth = 0, FHeight = 0;
  TPixelFormat FPixelFormat = pf24bit;
  int32_t FZoomedWidth = 0, FZoomedHeight = 0;
  int32_t FZoom = 0;
  int32_t FPaletteSize = 0;
  int32_t FResolution = 72;
  int32_t FTileSrc = 64, FTileDst = 64;
  std::vector<uint8_t> FBitmapInfo;
  std::unique_ptr<uint8_t, TPixelDeleter> FBits;
  bool FLocked = false;
  int32_t FImageSize = 0;
  int32_t FRowBytes = 0;
  TSwap FSwapPixels = nullptr;
  TGetValue FGetPixelValue = nullptr;
  TSetValue FSetPixelValue = nullptr;
  TGetColor FGetPixelColor = nullptr;
};
