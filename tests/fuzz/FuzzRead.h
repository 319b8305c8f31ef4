#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>

#include "DibImage.h"
#include "XIcc.h"

// Reads one input the way the viewer does, with options set before the
// header is read (BeforeOpen) or after it (AfterOpen). Exceptions are the expected
// outcome of most inputs; only crashes and sanitizer reports are findings.
// The last pixel is read back so that a buffer smaller than its header says
// shows up.
template <class TReader, class TBefore, class TAfter>
void FuzzReadWith(const uint8_t* Data, size_t Size, TBefore BeforeOpen, TAfter AfterOpen) {
  try {
    TReader Reader;
    // Readers that convert through an embedded profile themselves do.
    Reader.ApplyProfile = true;
    BeforeOpen(Reader);
    Reader.OpenMemory({Data, Size});
    AfterOpen(Reader);
    Reader.Read();
    if (TDib* Dib = Reader.Dib) {
      // The profile as the read sequence applies it, for both models a
      // profile can have there.
      if (!Reader.IccProfile.empty() && !Reader.IccApplied)
        for (const TIccModel M : {TIccModel::Rgb, TIccModel::Gray})
          ConvertToSrgb(*Dib, Reader.IccProfile, M);
      volatile TColor Sink = Dib->GetPixelColor(Dib->Width() - 1, Dib->Height() - 1);
      (void)Sink;
    }
  } catch (const std::exception&) {
  }
}

template <class TReader, class TSetup>
void FuzzRead(const uint8_t* Data, size_t Size, TSetup Setup) {
  FuzzReadWith<TReader>(
      Data, Size, [](TReader&) {}, Setup);
}
