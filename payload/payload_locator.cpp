#include "payload/payload_locator.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "payload/little_endian.h"

namespace sp {

namespace {

// The parts of a PE file that say where its image ends, as they lie in the
// file (little-endian, no padding).
struct DosHeaderTail {
  LeUInt32 e_lfanew;  // at 0x3C: offset of the "PE\0\0" signature
};

struct CoffHeader {
  uint8_t signature[4];  // "PE\0\0"
  LeUInt16 Machine;
  LeUInt16 NumberOfSections;
  LeUInt32 TimeDateStamp;
  LeUInt32 PointerToSymbolTable;
  LeUInt32 NumberOfSymbols;
  LeUInt16 SizeOfOptionalHeader;
  LeUInt16 Characteristics;
};

struct SectionHeader {
  char Name[8];
  LeUInt32 VirtualSize;
  LeUInt32 VirtualAddress;
  LeUInt32 SizeOfRawData;
  LeUInt32 PointerToRawData;
  LeUInt32 PointerToRelocations;
  LeUInt32 PointerToLinenumbers;
  LeUInt16 NumberOfRelocations;
  LeUInt16 NumberOfLinenumbers;
  LeUInt32 Characteristics;
};

static_assert(sizeof(DosHeaderTail) == 4);
static_assert(sizeof(CoffHeader) == 24);
static_assert(sizeof(SectionHeader) == 40);

constexpr int64_t kLfanewOffset = 0x3C;
// The PE format allows at most this many sections.
constexpr int kMaxSections = 96;

bool ReadAt(Stream& file, int64_t offset, void* out, size_t count) {
  if (offset < 0 || offset + static_cast<int64_t>(count) > file.Size()) return false;
  if (file.Seek(offset, SeekOrigin::Begin) != offset) return false;
  return file.Read(out, count) == count;
}

bool StartsWith(Stream& file, const char* magic, size_t count) {
  char bytes[4] = {};
  return ReadAt(file, 0, bytes, count) && std::memcmp(bytes, magic, count) == 0;
}

// The whole sound-track item lies between the lead word and the video
// stream: a lead word that points inside it belongs to no recording.
constexpr int64_t kSoundTrackMinBytes = kHuffTreeBytes + 4;

PayloadHead CheckedHead(Stream& file, uint32_t offset) {
  PayloadHead head = ReadPayloadHead(file, offset, PayloadReader::HeaderCheck::kCheck);
  if (head.leadWord != 0 && head.videoOffset < int64_t{offset} + 4 + kSoundTrackMinBytes) {
    throw DamagedRecording({"lead word", offset,
                            "lead word: the video stream offset " + Thousands(head.videoOffset) +
                                " at offset " + Thousands(offset) +
                                " lies inside the sound track's code tree"});
  }
  return head;
}

}  // namespace

std::optional<uint32_t> PeOverlayOffset(Stream& file) {
  if (!StartsWith(file, "MZ", 2)) return std::nullopt;
  DosHeaderTail dos;
  if (!ReadAt(file, kLfanewOffset, &dos, sizeof dos)) return std::nullopt;
  const int64_t peAt = dos.e_lfanew.Get();
  CoffHeader coff;
  if (!ReadAt(file, peAt, &coff, sizeof coff) || std::memcmp(coff.signature, "PE\0\0", 4) != 0) {
    return std::nullopt;
  }
  const int sections = coff.NumberOfSections.Get();
  if (sections > kMaxSections) return std::nullopt;
  const int64_t tableAt = peAt + int64_t{sizeof coff} + coff.SizeOfOptionalHeader.Get();
  int64_t end = tableAt + int64_t{sizeof(SectionHeader)} * sections;
  if (end > file.Size()) return std::nullopt;
  for (int i = 0; i < sections; ++i) {
    SectionHeader s;
    if (!ReadAt(file, tableAt + int64_t{sizeof s} * i, &s, sizeof s)) return std::nullopt;
    if (s.SizeOfRawData.Get() == 0) continue;
    end = std::max(end, int64_t{s.PointerToRawData.Get()} + s.SizeOfRawData.Get());
  }
  if (end > file.Size() || end > UINT32_MAX - 4) return std::nullopt;
  return static_cast<uint32_t>(end);
}

const char* PayloadSourceName(PayloadSource source) {
  switch (source) {
    case PayloadSource::kPeOverlay: return "behind the Windows executable's image";
    case PayloadSource::kStubSize: return "behind the stub";
    case PayloadSource::kBare: return "at the start of the file";
  }
  return "";
}

uint32_t LikelyPayloadOffset(Stream& file) {
  if (const std::optional<uint32_t> overlay = PeOverlayOffset(file)) return *overlay;
  const bool executable = StartsWith(file, "MZ", 2) || StartsWith(file, "\x7f" "ELF", 4);
  return executable ? kKnownStubSizes[0] : 0;
}

PayloadLocation LocatePayload(Stream& file) {
  struct Candidate {
    uint32_t offset;
    PayloadSource source;
  };
  std::vector<Candidate> candidates;
  const std::optional<uint32_t> overlay = PeOverlayOffset(file);
  if (overlay) candidates.push_back({*overlay, PayloadSource::kPeOverlay});
  for (uint32_t size : kKnownStubSizes) {
    if (overlay && *overlay == size) continue;
    candidates.push_back({size, PayloadSource::kStubSize});
  }
  candidates.push_back({0, PayloadSource::kBare});

  // The fault reported is the one at the place the file most likely meant:
  // an executable (PE or ELF) carries its payload behind itself.
  const uint32_t likelyOffset = LikelyPayloadOffset(file);
  std::exception_ptr likely;
  for (const Candidate& c : candidates) {
    try {
      PayloadLocation found;
      found.offset = c.offset;
      found.source = c.source;
      found.head = CheckedHead(file, c.offset);
      return found;
    } catch (const PayloadEndError&) {
      if (!likely && c.offset == likelyOffset) likely = std::current_exception();
    } catch (const DamagedRecording&) {
      if (!likely && c.offset == likelyOffset) likely = std::current_exception();
    }
  }
  std::rethrow_exception(likely);
}

}  // namespace sp
