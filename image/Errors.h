#pragma once
#include <cstring>
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

namespace ErrorsDetail {
// strerror_r comes as the GNU call (a text) or the POSIX one (a status).
inline const char* TextOf(const char* Result, const char*) { return Result; }
inline const char* TextOf(int Result, const char* Buffer) { return Result == 0 ? Buffer : "Unknown error"; }
} // namespace ErrorsDetail

// The system's text for an errno value. strerror may share one buffer
// between threads, and files are read in more than one.
inline std::string SystemErrorText(int Error) {
  char Buffer[256] = {};
  return ErrorsDetail::TextOf(strerror_r(Error, Buffer, sizeof Buffer), Buffer);
}
