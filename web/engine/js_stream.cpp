#include "web/engine/js_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// Returns the bytes copied, or -1 when the file cannot be read.
EM_JS(int, sp_js_read, (int source, double offset, int length, uint8_t* dst), {
  return Module.spRead(source, offset, length, dst);
});
#else
static int sp_js_read(int, double, int, uint8_t*) { return -1; }
#endif

namespace sp::web {

namespace {
// Big enough that indexing reads a frame record with one call into JS, small
// enough that a seek's few JPEGs do not read much past what they need.
constexpr size_t kWindowBytes = 256 * 1024;
}  // namespace

JsStream::JsStream(int source, int64_t size) : source_(source), size_(std::max<int64_t>(0, size)) {}

bool JsStream::Fill() {
  if (position_ >= size_) return false;
  if (position_ >= windowStart_ && position_ < windowStart_ + static_cast<int64_t>(windowSize_)) {
    return true;
  }
  window_.resize(kWindowBytes);
  const int64_t want = std::min<int64_t>(kWindowBytes, size_ - position_);
  const int got = sp_js_read(source_, static_cast<double>(position_), static_cast<int>(want),
                             window_.data());
  if (got < 0) throw StreamReadError();
  windowStart_ = position_;
  windowSize_ = static_cast<size_t>(std::min<int64_t>(got, want));
  return windowSize_ > 0;
}

size_t JsStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count && Fill()) {
    const size_t at = static_cast<size_t>(position_ - windowStart_);
    const size_t n = std::min(count - done, windowSize_ - at);
    std::memcpy(out + done, window_.data() + at, n);
    done += n;
    position_ += static_cast<int64_t>(n);
  }
  return done;
}

int64_t JsStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = position_;
  if (origin == SeekOrigin::End) base = size_;
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

}  // namespace sp::web
