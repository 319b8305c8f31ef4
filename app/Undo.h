#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "DibImage.h"
#include "Errors.h"
#include "Transparency.h"
#include "XStream.h"

inline constexpr int32_t UndoHeaderSize = 52;

// The head of one record of the history file, as 13 little-endian 32-bit
// numbers; the palette (0x00BBGGRR each) and the pixel rows follow it.
struct TUndoHeader {
  int32_t Prev = -1;
  int32_t Next = -1;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t PixelFormat = 0;
  int32_t Resolution = 0;
  int32_t Gray = 0;
  int32_t PaletteSize = 0;
  int32_t ImageSize = 0; // 0 marks the empty head record of the shown state
  TTransparencyInfo Transparency;

  int64_t RecordSize() const { return int64_t(UndoHeaderSize) + 4 * int64_t(PaletteSize) + ImageSize; }
  void ToBytes(uint8_t* P) const;
  static TUndoHeader FromBytes(const uint8_t* P);
};

// No history file could be made: undo is impossible for the image.
class EUndoCreateError : public EFileStreamError {
public:
  using EFileStreamError::EFileStreamError;
};

// A history file whose records do not hold together; the history is gone.
class EUndoHistoryDamaged : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// An image as a record kept it.
struct TUndoState {
  std::unique_ptr<TDib> Image;
  TTransparencyInfo Transparency;
};

// The undo history: a chain of image records in a file of its own, with
// the position at the record of the state that is shown. Everything read
// back is checked first: the file lives in a folder others may write to.
class TUndoHistory {
public:
  TUndoHistory() = default;
  TUndoHistory(const TUndoHistory&) = delete;
  TUndoHistory& operator=(const TUndoHistory&) = delete;
  ~TUndoHistory();

  // Where the next history file is created.
  void SetFolder(const std::filesystem::path& Folder) { FFolder = Folder; }
  // Works on Stream instead of a file of its own (memory streams in tests),
  // with the shown state's record at Position.
  void Attach(std::unique_ptr<TStream> Stream, int64_t Position = 0);

  bool Active() const { return FStream != nullptr; }
  const std::filesystem::path& FileName() const { return FFileName; }
  int64_t Position() const { return FPosition; }
  bool CanUndo() const { return FCanUndo; }
  bool CanRedo() const { return FCanRedo; }
  const TStream* Stream() const { return FStream.get(); }

  // Stores the shown state before an edit; drops what could be redone.
  // Raises EUndoCreateError when no file can be made, EFileStreamError when
  // the record cannot be written; the history is then as it was.
  void TakeSnapshot(const TDib& Image, const TTransparencyInfo& Transparency);
  // The state before the shown one, or nothing. The shown state is stored
  // first when it is not in the history yet, so that it can be redone.
  std::optional<TUndoState> Undo(const TDib& Shown, const TTransparencyInfo& Transparency);
  std::optional<TUndoState> Redo();
  // Closes the file and deletes it.
  void Clear();

private:
  void CreateFile();
  TUndoHeader ReadHeader(int64_t Pos);
  TUndoState ReadState(int64_t Pos, const TUndoHeader& H);
  void ReadAt(int64_t Pos, void* Buffer, size_t Count);
  void WriteAt(int64_t Pos, const void* Buffer, size_t Count);
  [[noreturn]] void Damaged(const std::string& What);

  std::unique_ptr<TStream> FStream;
  std::filesystem::path FFolder, FFileName;
  int64_t FPosition = 0;
  bool FCanUndo = false, FCanRedo = false;
};
