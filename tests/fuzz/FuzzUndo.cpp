#include <cstddef>
#include <cstdint>
#include <memory>

#include "Undo.h"

// The input is a history file; the shown state's record is the last 52
// bytes, where a history left by a snapshot has its head.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TUndoHistory History;
  auto Stream = std::make_unique<TMemoryStream>();
  Stream->Write(Data, Size);
  // Keeps the file near its size: a damaged record may not make it grow.
  Stream->SetWriteLimit(int64_t(Size) + (1 << 20));
  History.Attach(std::move(Stream), Size >= UndoHeaderSize ? int64_t(Size) - UndoHeaderSize : 0);
  TDib Shown(3, 2, pf8bit);
  try {
    for (int Step = 0; Step < 3; ++Step) {
      auto S = History.Undo(Shown, {});
      if (S)
        S->Image->GetPixelColor(S->Image->Width() - 1, S->Image->Height() - 1);
    }
    for (int Step = 0; Step < 3; ++Step)
      History.Redo();
    History.TakeSnapshot(Shown, {});
    History.Undo(Shown, {});
  } catch (const EUndoHistoryDamaged&) {
  } catch (const EFileStreamError&) {
  }
  return 0;
}
