#pragma once
#include <stdexcept>
#include <string>

// The failures of the image model and the codecs. The core knows no Qt, so
// these stand in for the framework's exception classes.

// Raised by the pixel buffer and, through TImgIO::Fail, by every codec.
class EInvalidGraphicOperation : public std::runtime_error {
public:
  explicit EInvalidGraphicOperation(const std::string& Msg) : std::runtime_error(Msg) {}
};

class EColorConversionError : public std::runtime_error {
public:
  explicit EColorConversionError(const std::string& Msg) : std::runtime_error(Msg) {}
};

// A file that cannot be opened or created; carries the system's reason.
class EFileStreamError : public std::runtime_error {
public:
  explicit EFileStreamError(const std::string& Msg) : std::runtime_error(Msg) {}
};
