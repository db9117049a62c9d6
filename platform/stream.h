#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace sp {

enum class SeekOrigin { Begin, Current, End };

class Stream {
 public:
  virtual ~Stream() = default;

  // Reads up to count bytes; fewer at the end, without error.
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;

  int64_t Remaining() const;
  // Reads exactly count bytes or raises StreamReadError.
  void ReadBuffer(void* buffer, size_t count);
  // A 32-bit little-endian integer; StreamReadError when fewer than 4 bytes remain.
  int32_t ReadInt32();
  uint32_t ReadUInt32();
};

// Read-only, shared with every other reader and writer of the file.
class FileStream : public Stream {
 public:
  explicit FileStream(const std::string& path);  // FileOpenError
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override { return size_; }
  int64_t Position() const override { return position_; }

 private:
  intptr_t file_ = -1;  // NativeFile
  int64_t size_ = 0;
  int64_t position_ = 0;
};

class MemoryStream : public Stream {
 public:
  size_t Read(void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const override { return position_; }

  void Write(const void* buffer, size_t count);
  void Clear();
  // Appends count bytes of source from its position; count 0 copies the
  // whole source from its start. StreamReadError when the bytes are not
  // there, checked before anything is allocated.
  void CopyFrom(Stream& source, int64_t count);

  const uint8_t* Data() const { return data_.data(); }
  std::vector<uint8_t>& Bytes() { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A read-only stream over bytes held elsewhere, for reading a recording
// that is already in memory without copying it.
class ByteViewStream : public Stream {
 public:
  explicit ByteViewStream(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Read(void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  int64_t Position() const override { return position_; }

 private:
  std::span<const uint8_t> bytes_;
  int64_t position_ = 0;
};

}  // namespace sp
