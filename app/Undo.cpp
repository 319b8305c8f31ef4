#include "Undo.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <vector>

#include "XImg.h"

namespace {

std::string SystemReason(int Error) { return std::strerror(Error ? Error : ENOSPC); }

} // namespace

void TUndoHeader::ToBytes(uint8_t* P) const {
  const int32_t Fields[13] = {Prev,
                              Next,
                              Width,
                              Height,
                              PixelFormat,
                              Resolution,
                              Gray,
                              PaletteSize,
                              ImageSize,
                              Transparency.TransparentIndex,
                              Transparency.TransparentColor,
                              Transparency.BackIndex,
                              Transparency.BackColor};
  for (int I = 0; I < 13; ++I)
    PutLE32(P + 4 * I, uint32_t(Fields[I]));
}

TUndoHeader TUndoHeader::FromBytes(const uint8_t* P) {
  TUndoHeader H;
  H.Prev = GetLESigned32(P);
  H.Next = GetLESigned32(P + 4);
  H.Width = GetLESigned32(P + 8);
  H.Height = GetLESigned32(P + 12);
  H.PixelFormat = GetLESigned32(P + 16);
  H.Resolution = GetLESigned32(P + 20);
  H.Gray = GetLESigned32(P + 24);
  H.PaletteSize = GetLESigned32(P + 28);
  H.ImageSize = GetLESigned32(P + 32);
  H.Transparency.TransparentIndex = GetLESigned32(P + 36);
  H.Transparency.TransparentColor = GetLESigned32(P + 40);
  H.Transparency.BackIndex = GetLESigned32(P + 44);
  H.Transparency.BackColor = GetLESigned32(P + 48);
  return H;
}

TUndoHistory::~TUndoHistory() { Clear(); }

void TUndoHistory::Attach(std::unique_ptr<TStream> Stream, int64_t Position) {
  Clear();
  FStream = std::move(Stream);
  FPosition = Position;
}

void TUndoHistory::Clear() {
  FStream.reset();
  if (!FFileName.empty())
    ::unlink(FFileName.c_str());
  FFileName.clear();
  FPosition = 0;
  FCanUndo = false;
  FCanRedo = false;
}

void TUndoHistory::CreateFile() {
  if (FFolder.empty())
    throw EUndoCreateError("Cannot create the undo history file: no folder for it can be found.");
  static std::mt19937 Random(uint32_t(std::chrono::system_clock::now().time_since_epoch().count()) ^
                             uint32_t(::getpid()));
  std::uniform_int_distribution<int> Number(0, 999999);
  std::filesystem::path Name;
  int Fd = -1;
  // A fresh name: never another instance's history, never a planted link.
  for (int Attempt = 0; Attempt < 100 && Fd < 0; ++Attempt) {
    Name = FFolder / ("Pe" + std::to_string(Number(Random)) + ".tmp");
    Fd = ::open(Name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (Fd < 0 && errno != EEXIST)
      break;
  }
  if (Fd < 0)
    throw EUndoCreateError("Cannot create the undo history file " + Name.string() + ". " + SystemReason(errno));
  FStream = std::make_unique<TFileStream>(Fd);
  FFileName = Name;
  FPosition = 0;
}

void TUndoHistory::WriteAt(int64_t Pos, const void* Buffer, size_t Count) {
  FStream->Seek(Pos);
  errno = 0;
  if (FStream->Write(Buffer, Count) != Count) {
    const std::string Where = FFileName.empty() ? std::string() : " " + FFileName.string();
    throw EFileStreamError("Cannot write the undo history file" + Where + ". " + SystemReason(errno) +
                           "\nThe image was not changed.");
  }
}

void TUndoHistory::ReadAt(int64_t Pos, void* Buffer, size_t Count) {
  FStream->Seek(Pos);
  if (FStream->Read(Buffer, Count) != Count)
    Damaged("a record ends early");
}

void TUndoHistory::Damaged(const std::string& What) {
  Clear();
  throw EUndoHistoryDamaged("The undo history is damaged (" + What +
                            ") and has been cleared; the image stays as shown.");
}

TUndoHeader TUndoHistory::ReadHeader(int64_t Pos) {
  const int64_t Size = FStream->Size();
  if (Pos < 0 || Pos > Size - UndoHeaderSize)
    Damaged("a link leads outside the file");
  uint8_t Bytes[UndoHeaderSize];
  ReadAt(Pos, Bytes, sizeof Bytes);
  const TUndoHeader H = TUndoHeader::FromBytes(Bytes);
  if (Pos == 0 ? H.Prev != -1 : H.Prev != -1 && (H.Prev < 0 || H.Prev >= Pos))
    Damaged("a backward link is broken");
  if (H.ImageSize == 0) {
    if (H.Next != -1)
      Damaged("an empty record has a successor");
    return H;
  }
  if (H.ImageSize < 0 || H.Width <= 0 || H.Height <= 0 || BitCountOf(H.PixelFormat) == 0)
    Damaged("a record has an impossible size or pixel format");
  const int64_t RowBytes = DibRowBytes(H.Width, BitCountOf(H.PixelFormat));
  if (H.PaletteSize != PaletteSizeOf(H.PixelFormat) || RowBytes > INT32_MAX || RowBytes * H.Height != H.ImageSize)
    Damaged("a record's sizes do not match its pixel format");
  if ((H.Gray != 0 && H.Gray != 1) || H.Resolution < -MaxDpiForPels || H.Resolution > MaxDpiForPels)
    Damaged("a record holds impossible values");
  // Every image record is followed by at least the head of the next one.
  if (int64_t(H.Next) != Pos + H.RecordSize() || int64_t(H.Next) > Size - UndoHeaderSize)
    Damaged("a forward link is broken");
  return H;
}

TUndoState TUndoHistory::ReadState(int64_t Pos, const TUndoHeader& H) {
  TUndoState S;
  S.Image = std::make_unique<TDib>(H.Width, H.Height, TPixelFormat(H.PixelFormat));
  if (S.Image->ImageSize() != H.ImageSize || S.Image->PaletteSize() != H.PaletteSize)
    Damaged("a record's sizes do not match its pixel format");
  if (H.PaletteSize > 0) {
    std::vector<uint8_t> Palette(4 * size_t(H.PaletteSize));
    ReadAt(Pos + UndoHeaderSize, Palette.data(), Palette.size());
    for (int32_t I = 0; I < H.PaletteSize; ++I)
      S.Image->SetPaletteColor(I, TColor(GetLE32(Palette.data() + 4 * I) & 0xFFFFFF));
  }
  ReadAt(Pos + UndoHeaderSize + 4 * int64_t(H.PaletteSize), S.Image->Bits(), size_t(H.ImageSize));
  S.Image->SetResolution(H.Resolution);
  S.Image->IsGray = H.Gray != 0;
  S.Transparency = H.Transparency;
  return S;
}

void TUndoHistory::TakeSnapshot(const TDib& Image, const TTransparencyInfo& Transparency) {
  // An image without pixels has nothing to restore, and its record would
  // read as an empty head.
  if (Image.ImageSize() == 0)
    return;
  if (!FStream)
    CreateFile();
  const bool Fresh = FStream->Size() == 0;
  if (Fresh)
    FPosition = 0;
  TUndoHeader H;
  H.Prev = Fresh ? -1 : ReadHeader(FPosition).Prev;
  H.Width = Image.Width();
  H.Height = Image.Height();
  H.PixelFormat = Image.PixelFormat();
  H.Resolution = Image.Resolution();
  H.Gray = Image.IsGray ? 1 : 0;
  H.PaletteSize = Image.PaletteSize();
  H.ImageSize = Image.ImageSize();
  H.Transparency = Transparency;
  const int64_t End = FPosition + H.RecordSize();
  try {
    // Links are 32-bit file positions; a file beyond them cannot be linked.
    if (End > int64_t(INT32_MAX) - UndoHeaderSize)
      throw EFileStreamError("The undo history has reached its limit of 2 GB.\nThe image was not changed. "
                             "Switch undo off, or open the image again, to edit on.");
    H.Next = int32_t(End);
    // The body and the new head go first and the header that links them in
    // last, so a write that fails leaves the chain as it was.
    if (H.PaletteSize > 0) {
      std::vector<uint8_t> Palette(4 * size_t(H.PaletteSize));
      for (int32_t I = 0; I < H.PaletteSize; ++I)
        PutLE32(Palette.data() + 4 * I, uint32_t(Image.GetPaletteColor(I)));
      WriteAt(FPosition + UndoHeaderSize, Palette.data(), Palette.size());
    }
    WriteAt(FPosition + UndoHeaderSize + 4 * int64_t(H.PaletteSize), Image.Bits(), size_t(H.ImageSize));
    TUndoHeader Head;
    Head.Prev = int32_t(FPosition);
    Head.Next = -1;
    Head.Transparency = {0, 0, 0, 0};
    uint8_t Bytes[UndoHeaderSize];
    Head.ToBytes(Bytes);
    WriteAt(End, Bytes, sizeof Bytes);
    H.ToBytes(Bytes);
    WriteAt(FPosition, Bytes, sizeof Bytes);
  } catch (...) {
    if (Fresh)
      Clear();
    throw;
  }
  FPosition = End;
  FCanUndo = true;
  FCanRedo = false;
}

std::optional<TUndoState> TUndoHistory::Undo(const TDib& Shown, const TTransparencyInfo& Transparency) {
  if (!FStream)
    return std::nullopt;
  const int64_t From = FPosition;
  const TUndoHeader H = ReadHeader(From);
  if (H.Prev < 0)
    return std::nullopt;
  if (H.Next < 0)
    TakeSnapshot(Shown, Transparency);
  const TUndoHeader P = ReadHeader(H.Prev);
  if (P.ImageSize == 0 || P.Next != From)
    Damaged("a backward link is broken");
  TUndoState S = ReadState(H.Prev, P);
  FPosition = H.Prev;
  FCanRedo = true;
  FCanUndo = FPosition > 0;
  return S;
}

std::optional<TUndoState> TUndoHistory::Redo() {
  if (!FStream)
    return std::nullopt;
  const TUndoHeader H = ReadHeader(FPosition);
  if (H.Next < 1)
    return std::nullopt;
  const TUndoHeader N = ReadHeader(H.Next);
  if (N.Prev != FPosition)
    Damaged("a forward link is broken");
  // The head holds no image: the shown state is the newest one.
  if (N.ImageSize == 0) {
    FCanRedo = false;
    return std::nullopt;
  }
  TUndoState S = ReadState(H.Next, N);
  const TUndoHeader Further = ReadHeader(N.Next);
  if (Further.Prev != H.Next)
    Damaged("a forward link is broken");
  FPosition = H.Next;
  FCanRedo = Further.Next >= 1;
  FCanUndo = FPosition > 0;
  return S;
}
