#include "payload/sound_track.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "payload/layout.h"
#include "payload/sound_table_decoder.h"
#include "platform/file_io.h"

namespace sp {

namespace {

constexpr size_t kOutputBufferBytes = 10000;

}  // namespace

SoundTrackResult ExpandSoundFile(std::FILE* in, std::FILE* out, int64_t bitStreamEnd,
                                 int64_t* decoded) {
  if (decoded) *decoded = 0;
  std::array<uint8_t, kHuffTreeBytes> treeBytes;
  LeInt32 length;
  if (std::fread(treeBytes.data(), 1, treeBytes.size(), in) != treeBytes.size() ||
      std::fread(&length, 1, sizeof length, in) != sizeof length) {
    return SoundTrackResult::kDamaged;
  }
  // The table decoder gives exactly what the bit-by-bit walk gives, on every
  // tree and every stream; it takes the file in pieces.
  const SoundTableDecoder decoder(ParseHuffTree(treeBytes));
  SoundExpansion expansion(length.Get());

  constexpr size_t kPieceBytes = 65536;
  std::vector<uint8_t> piece(kPieceBytes);
  // Each piece is expanded behind the fewer than 10,000 bytes still waiting
  // for a whole write.
  std::vector<uint8_t> buffer(kOutputBufferBytes + 8 * kPieceBytes + SoundTableDecoder::kOutputSlack);
  size_t n = 0;
  bool writeFailed = false;

  while (expansion.WantsInput() && !writeFailed) {
    size_t want = piece.size();
    if (bitStreamEnd >= 0) {
      const long at = std::ftell(in);
      if (at < 0 || at >= bitStreamEnd) break;
      want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), bitStreamEnd - at));
    }
    const size_t got = std::fread(piece.data(), 1, want, in);
    if (got == 0) break;
    const SoundTableDecoder::Expanded done =
        decoder.ExpandInto(expansion, std::span(piece).first(got), std::span(buffer).subspan(n));
    n += done.written;
    if (decoded) *decoded += static_cast<int64_t>(done.written);
    // Leave `in` just behind the last byte the walk used, as reading it a
    // byte at a time would.
    if (done.read < got) std::fseek(in, -static_cast<long>(got - done.read), SEEK_CUR);
    size_t at = 0;
    for (; n - at >= kOutputBufferBytes && !writeFailed; at += kOutputBufferBytes) {
      writeFailed = std::fwrite(buffer.data() + at, 1, kOutputBufferBytes, out) != kOutputBufferBytes;
    }
    std::memmove(buffer.data(), buffer.data() + at, n - at);
    n -= at;
  }
  if (writeFailed) return SoundTrackResult::kWriteFailed;
  if (n > 0 && std::fwrite(buffer.data(), 1, n, out) != n) return SoundTrackResult::kWriteFailed;
  switch (expansion.status) {
    case SoundDecodeStatus::kComplete: return SoundTrackResult::kWritten;
    case SoundDecodeStatus::kDamaged: return SoundTrackResult::kDamaged;
    case SoundDecodeStatus::kTruncated: break;
  }
  return SoundTrackResult::kTruncated;
}

SoundTrackResult DecodeSoundTrack(const std::string& path, std::FILE* in, int64_t bitStreamEnd,
                                  int64_t* decoded) {
  if (decoded) *decoded = 0;
  std::FILE* out = OpenPrivateForWriting(path);
  if (!out) return SoundTrackResult::kCannotCreate;
  SoundTrackResult result = ExpandSoundFile(in, out, bitStreamEnd, decoded);
  if (std::fclose(out) != 0 && result == SoundTrackResult::kWritten) {
    result = SoundTrackResult::kWriteFailed;
  }
  // A full disk cut the file short: it would play as a shorter sound track
  // than the recording's, so it goes.
  if (result == SoundTrackResult::kWriteFailed) std::remove(path.c_str());
  return result;
}

}  // namespace sp
