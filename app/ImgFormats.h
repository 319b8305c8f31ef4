#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Settings.h"
#include "Transparency.h"
#include "XFormats.h"
#include "XImg.h"

// The settings as the codecs of the table of formats take them.

TReadOptions ReadOptionsOf(const TSettings& S);
// The texts go only to the formats whose signature switch is on.
TWriteOptions WriteOptionsOf(const TSettings& S, int32_t Format, const TTransparencyInfo& Transparency,
                             const TMetaTexts& Meta);

// The PNG options the image allows: 0 for 1-bit images, 1 for gray and
// true-color ones (row filters), 2 for other indexed ones (palette order).
int32_t PngSaveMode(const TDib& Image);
// Whether TIFF's horizontal prediction is offered for the image.
bool TifPredictionAllowed(const TDib& Image);

// The PNG row filters are the remembered set only where filters pay: gray
// and true-color images at a compression level above 0.
TSaveChoice CreateWriter(int32_t FilterIndex, const TDib& Image, const TSettings& S,
                         const TTransparencyInfo& Transparency, const TMetaTexts& Meta);

// Name with Extension appended unless the lower-cased name holds it anywhere.
std::string NameWithExtension(const std::string& Name, const std::string& Extension);
