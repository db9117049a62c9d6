#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/errors.h"
#include "platform/file_io.h"

namespace sp {

namespace {

// The target of a seek, or -1 when it would lie before the start or overflow.
int64_t SeekTarget(int64_t position, int64_t size, int64_t offset, SeekOrigin origin) {
  int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position : size;
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  return target;
}

}  // namespace

int64_t Stream::Remaining() const { return std::max<int64_t>(0, Size() - Position()); }

void Stream::ReadBuffer(void* buffer, size_t count) {
  if (Read(buffer, count) != count) throw StreamReadError();
}

int32_t Stream::ReadInt32() { return static_cast<int32_t>(ReadUInt32()); }

uint32_t Stream::ReadUInt32() {
  uint8_t b[4];
  ReadBuffer(b, sizeof b);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

FileStream::FileStream(const std::string& path) {
  file_ = OpenSharedForReading(path, size_);
  if (file_ == kNoFile) throw FileOpenError(path);
}

FileStream::~FileStream() { CloseFile(file_); }

size_t FileStream::Read(void* buffer, size_t count) {
  // Reads stop at the size seen when the file was opened, so that Size()
  // and Remaining() stay true to what Read delivers.
  if (position_ >= size_) return 0;
  count = std::min(count, static_cast<size_t>(size_ - position_));
  const size_t done = ReadFileAt(file_, buffer, count, position_);
  position_ += static_cast<int64_t>(done);
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t target = SeekTarget(position_, size_, offset, origin);
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

size_t MemoryStream::Read(void* buffer, size_t count) {
  int64_t size = Size();
  if (position_ >= size) return 0;
  size_t n = std::min(count, static_cast<size_t>(size - position_));
  // An empty destination may be null, which memcpy must not be given.
  if (n == 0) return 0;
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t target = SeekTarget(position_, Size(), offset, origin);
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

void MemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  size_t at = static_cast<size_t>(position_);
  if (count > data_.max_size() - std::min(at, data_.max_size())) {
    throw std::length_error("MemoryStream write beyond memory");
  }
  // A write after a seek beyond the end fills the gap with zeros.
  if (data_.size() < at + count) data_.resize(at + count);
  std::memcpy(data_.data() + at, buffer, count);
  position_ += static_cast<int64_t>(count);
}

void MemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void MemoryStream::CopyFrom(Stream& source, int64_t count) {
  if (count < 0) throw StreamReadError();
  if (count == 0) {
    source.Seek(0, SeekOrigin::Begin);
    count = source.Size();
  }
  if (count > source.Remaining()) throw StreamReadError();
  if (count == 0) return;

  size_t at = static_cast<size_t>(position_);
  size_t n = static_cast<size_t>(count);
  size_t oldSize = data_.size();
  if (oldSize < at + n) data_.resize(at + n);
  size_t got = source.Read(data_.data() + at, n);
  if (got != n) {
    // The source shrank under us; keep what arrived, as a short write would.
    data_.resize(std::max(oldSize, at + got));
    position_ += static_cast<int64_t>(got);
    throw StreamReadError();
  }
  position_ += count;
}

size_t ByteViewStream::Read(void* buffer, size_t count) {
  if (position_ >= Size()) return 0;
  const size_t n = std::min(count, static_cast<size_t>(Size() - position_));
  if (n == 0) return 0;
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

int64_t ByteViewStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : Size();
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  position_ = target;
  return position_;
}

}  // namespace sp
