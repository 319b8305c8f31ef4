#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Byte streams the codecs read from and write to. Files, memory blocks (fuzz
// targets, tests, clipboard) and the caller's own streams look the same.
class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to Count bytes; fewer only at the end of the data.
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  // Writes up to Count bytes; fewer means the medium is full or failed.
  virtual size_t Write(const void* Buffer, size_t Count) = 0;
  // Positions beyond the end are allowed; reads there return nothing.
  virtual void Seek(int64_t Position) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
};

enum class TFileMode { Read, Create };

// A file opened through the system. Opening failures raise EFileStreamError.
class TFileStream : public TStream {
public:
  TFileStream(const std::filesystem::path& Name, TFileMode Mode);
  // Takes over an open descriptor (the safe-save helper's temporary file).
  explicit TFileStream(int Descriptor);
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  ~TFileStream() override;

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  void Seek(int64_t Position) override;
  int64_t Position() const override { return FPosition; }
  int64_t Size() const override;
  int Descriptor() const { return FFd; }
  // Closes the descriptor; false if the system reports a failed write-back.
  bool Close();

private:
  int FFd = -1;
  int64_t FPosition = 0;
};

// A block of memory: either a view of the caller's bytes (read-only) or an
// owned, growing buffer.
class TMemoryStream : public TStream {
public:
  TMemoryStream() : FOwnsData(true) {}
  explicit TMemoryStream(std::span<const uint8_t> View) : FView(View) {}

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  void Seek(int64_t Position) override { FPosition = Position < 0 ? 0 : Position; }
  int64_t Position() const override { return FPosition; }
  int64_t Size() const override { return int64_t(Bytes().size()); }
  std::span<const uint8_t> Bytes() const { return FOwnsData ? std::span<const uint8_t>(FData) : FView; }
  // Fails every write once the size would pass the limit (disk-full tests).
  void SetWriteLimit(int64_t Limit) { FWriteLimit = Limit; }

private:
  std::span<const uint8_t> FView;
  std::vector<uint8_t> FData;
  bool FOwnsData = false;
  int64_t FPosition = 0;
  int64_t FWriteLimit = INT64_MAX;
};
