#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>

#include "DibImage.h"

// Reads one input the way the viewer does. Exceptions are the expected
// outcome of most inputs; only crashes and sanitizer reports are findings.
// The last pixel is read back so that a buffer smaller than its header says
// shows up.
template <class TReader, class TSetup>
void FuzzRead(const uint8_t* Data, size_t Size, TSetup Setup) {
  try {
    TReader Reader;
    Reader.OpenMemory({Data, Size});
    Setup(Reader);
    Reader.Read();
    if (TDib* Dib = Reader.Dib) {
      volatile TColor Sink = Dib->GetPixelColor(Dib->Width() - 1, Dib->Height() - 1);
      (void)Sink;
    }
  } catch (const std::exception&) {
  }
}
