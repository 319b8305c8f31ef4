#include "XStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"

TFileStream::TFileStream(const std::filesystem::path& Name, TFileMode Mode) {
  const int Flags = Mode == TFileMode::Read ? O_RDONLY : O_RDWR | O_CREAT | O_TRUNC;
  FFd = ::open(Name.c_str(), Flags | O_CLOEXEC, 0666);
  if (FFd < 0) {
    const char* What = Mode == TFileMode::Read ? "Cannot open file " : "Cannot create file ";
    throw EFileStreamError(What + Name.string() + ". " + SystemErrorText(errno));
  }
  if (Mode == TFileMode::Read) {
    struct stat St;
    if (::fstat(FFd, &St) == 0 && S_ISDIR(St.st_mode)) {
      ::close(FFd);
      FFd = -1;
      throw EFileStreamError("Cannot open file " + Name.string() + ". " + SystemErrorText(EISDIR));
    }
  }
}

TFileStream::TFileStream(int Descriptor) : FFd(Descriptor) {}

TFileStream::~TFileStream() { Close(); }

bool TFileStream::Close() {
  if (FFd < 0)
    return true;
  const int R = ::close(FFd);
  FFd = -1;
  return R == 0;
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
  size_t Done = 0;
  auto* P = static_cast<uint8_t*>(Buffer);
  while (Done < Count && FFd >= 0) {
    const ssize_t N = ::pread(FFd, P + Done, std::min<size_t>(Count - Done, 1u << 30), FPosition);
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      break;
    Done += size_t(N);
    FPosition += N;
  }
  return Done;
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
  size_t Done = 0;
  auto* P = static_cast<const uint8_t*>(Buffer);
  while (Done < Count && FFd >= 0) {
    const ssize_t N = ::pwrite(FFd, P + Done, std::min<size_t>(Count - Done, 1u << 30), FPosition);
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      break;
    Done += size_t(N);
    FPosition += N;
  }
  return Done;
}

void TFileStream::Seek(int64_t Position) { FPosition = Position < 0 ? 0 : Position; }

int64_t TFileStream::Size() const {
  struct stat St;
  if (FFd < 0 || ::fstat(FFd, &St) != 0)
    return 0;
  return int64_t(St.st_size);
}

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
  const auto Data = Bytes();
  if (FPosition >= int64_t(Data.size()))
    return 0;
  const size_t N = std::min(Count, Data.size() - size_t(FPosition));
  if (N > 0)
    std::memcpy(Buffer, Data.data() + FPosition, N);
  FPosition += int64_t(N);
  return N;
}

size_t TMemoryStream::Write(const void* Buffer, size_t Count) {
  if (!FOwnsData || Count == 0)
    return 0;
  if (FPosition > FWriteLimit)
    return 0;
  Count = std::min<uint64_t>(Count, uint64_t(FWriteLimit - FPosition));
  const auto* P = static_cast<const uint8_t*>(Buffer);
  if (size_t(FPosition) > FData.size())
    FData.resize(size_t(FPosition));
  // Overwrite what exists, append the rest without zero-filling it first.
  const size_t Inside = std::min(Count, FData.size() - size_t(FPosition));
  if (Inside > 0)
    std::memcpy(FData.data() + FPosition, P, Inside);
  FData.insert(FData.end(), P + Inside, P + Count);
  FPosition += int64_t(Count);
  return Count;
}
