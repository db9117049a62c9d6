#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace sp::web {

// A file the page holds (a Blob, fetched or dropped), read on demand through
// the JS import Module.spRead, so that it is never copied whole into the
// module's memory. Reads go through a window of the file kept here, since
// the payload reader asks for a few bytes at a time and each call into JS
// costs far more than a copy.
class JsStream : public Stream {
 public:
  JsStream(int source, int64_t size);

  size_t Read(void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override { return size_; }
  int64_t Position() const override { return position_; }

 private:
  // Makes the window hold the bytes at position_; false at the end.
  bool Fill();

  int source_;
  int64_t size_;
  int64_t position_ = 0;
  std::vector<uint8_t> window_;
  int64_t windowStart_ = 0;
  size_t windowSize_ = 0;
};

}  // namespace sp::web
