#include "tools/mp4_tracks.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "tools/command_line.h"

namespace sp::tool {
namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

struct Box {
  int64_t start = 0;    // of its header
  int64_t content = 0;  // behind its header
  int64_t end = 0;
  char type[5] = {};
};

uint64_t BigEndian(const uint8_t* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

// The box at `at`, which must end by `limit`; none when no whole box is there.
std::optional<Box> ReadBox(FILE* file, int64_t at, int64_t limit) {
  uint8_t header[16];
  if (limit - at < 8 || std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 ||
      std::fread(header, 1, 8, file) != 8) {
    return std::nullopt;
  }
  Box box;
  box.start = at;
  std::memcpy(box.type, header + 4, 4);
  uint64_t size = BigEndian(header, 4);
  box.content = at + 8;
  if (size == 1) {
    if (limit - at < 16 || std::fread(header + 8, 1, 8, file) != 8) return std::nullopt;
    size = BigEndian(header + 8, 8);
    box.content = at + 16;
  } else if (size == 0) {
    size = static_cast<uint64_t>(limit - at);
  }
  if (size < static_cast<uint64_t>(box.content - at) || size > static_cast<uint64_t>(limit - at)) {
    return std::nullopt;
  }
  box.end = at + static_cast<int64_t>(size);
  return box;
}

// The first box of this type among those from `from` to `limit`.
std::optional<Box> FindBox(FILE* file, int64_t from, int64_t limit, const char* type) {
  for (auto box = ReadBox(file, from, limit); box; box = ReadBox(file, box->end, limit)) {
    if (std::memcmp(box->type, type, 4) == 0) return box;
  }
  return std::nullopt;
}

bool IsSubtitleTrack(FILE* file, const Box& trak) {
  const auto mdia = FindBox(file, trak.content, trak.end, "mdia");
  const auto hdlr = mdia ? FindBox(file, mdia->content, mdia->end, "hdlr") : std::nullopt;
  // version and flags, pre_defined, then the handler type.
  uint8_t handler[4];
  if (!hdlr || hdlr->end - hdlr->content < 12 || std::fseek(file, static_cast<long>(hdlr->content + 8), SEEK_SET) != 0 ||
      std::fread(handler, 1, 4, file) != 4) {
    return false;
  }
  return std::memcmp(handler, "sbtl", 4) == 0;
}

}  // namespace

void DisableSubtitleTracks(const std::string& path) {
  File file(std::fopen(path.c_str(), "r+b"), &std::fclose);
  if (!file) throw ToolError(path + ": " + std::strerror(errno));
  if (std::fseek(file.get(), 0, SEEK_END) != 0) throw ToolError(path + ": cannot read it");
  const int64_t size = std::ftell(file.get());
  const auto moov = FindBox(file.get(), 0, size, "moov");
  if (!moov) return;
  for (auto trak = FindBox(file.get(), moov->content, moov->end, "trak"); trak;
       trak = FindBox(file.get(), trak->end, moov->end, "trak")) {
    if (!IsSubtitleTrack(file.get(), *trak)) continue;
    const auto tkhd = FindBox(file.get(), trak->content, trak->end, "tkhd");
    if (!tkhd || tkhd->end - tkhd->content < 4) continue;
    // The last byte of the 24-bit flags; bit 0 is "enabled".
    uint8_t flags = 0;
    if (std::fseek(file.get(), static_cast<long>(tkhd->content + 3), SEEK_SET) != 0 ||
        std::fread(&flags, 1, 1, file.get()) != 1) {
      throw ToolError(path + ": cannot read it");
    }
    flags &= 0xFE;
    if (std::fseek(file.get(), static_cast<long>(tkhd->content + 3), SEEK_SET) != 0 ||
        std::fwrite(&flags, 1, 1, file.get()) != 1) {
      throw ToolError(path + ": write error: " + std::strerror(errno));
    }
  }
  if (std::fclose(file.release()) != 0) throw ToolError(path + ": write error: " + std::strerror(errno));
}

}  // namespace sp::tool
