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

TSaveChoice CreateWriter(int32_t FilterIndex, const TDib& Image, const TSettings& S,
                         const TTransparencyInfo& Transparency, const TMetaTexts& Meta);

// Name with Extension appended unless the lower-cased name holds it anywhere.
std::string NameWithExtension(const std::string& Name, const std::string& Extension);
