#include "tests/hardening/fuzz_checks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "payload/layout.h"
#include "payload/payload_reader.h"
#include "payload/sound_expander.h"
#include "payload/sound_samples.h"
#include "payload/sound_table_decoder.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/errors.h"
#include "platform/icon.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/payload_writer.h"
#include "tests/hardening/headless_run.h"

namespace sp::hardening {
namespace {

constexpr int kPlayerTickBudget = 3000;

// One stub file, reused: each input replaces what lies behind the stub.
struct PlayerFile {
  PlayerFile() : dir("fuzz-player"), path(dir.File("FUZZ.EXE")) {
    recorder::WriteFile(path, recorder::ZeroStub());
  }
  ScratchDir dir;
  std::string path;
};

bool WritePayload(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, PAYLOAD_OFFSET) == 0;
  size_t done = 0;
  while (ok && done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(PAYLOAD_OFFSET + done));
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ::close(fd);
  return ok;
}

std::string Describe(const SoundDecodeResult& r, size_t written) {
  return "status " + std::to_string(static_cast<int>(r.status)) + ", read " + std::to_string(r.bytesRead) +
         ", wrote " + std::to_string(written);
}

}  // namespace

std::string CheckPlayerPayload(const uint8_t* data, size_t size) {
  static PlayerFile file;
  if (!WritePayload(file.path, data, size)) return "cannot write the recording";
  const RunOutcome run = PlayHeadless(file.path, file.dir.Path(), {.tickBudget = kPlayerTickBudget});
  if (!run.created) return "the form was not created";
  return FirstUnknownMessage(run.boxes);
}

std::string CheckSoundExpander(std::span<const uint8_t> item, const std::vector<uint8_t>& walked) {
  // The item read through a stream, as the player, the tools and the viewer
  // read it: the same bytes as the walk, from the start and from a
  // checkpoint; and the samples on demand read without harm.
  ByteViewStream file(item);
  SoundExpander expander(file);
  std::vector<uint8_t> expanded;
  std::vector<SoundCheckpoint> checkpoints{expander.Checkpoint()};
  for (auto chunk = expander.Next(); !chunk.empty(); chunk = expander.Next()) {
    expanded.insert(expanded.end(), chunk.begin(), chunk.end());
    checkpoints.push_back(expander.Checkpoint());
  }
  if (expanded.size() > walked.size() ||
      !std::equal(expanded.begin(), expanded.end(), walked.begin())) {
    return "the expander gave " + std::to_string(expanded.size()) + " bytes other than the walk's " +
           std::to_string(walked.size());
  }
  const SoundCheckpoint& middle = checkpoints[checkpoints.size() / 2];
  file.Seek(0, SeekOrigin::Begin);
  SoundExpander again(file);
  again.Resume(middle);
  std::vector<uint8_t> rest;
  for (auto chunk = again.Next(); !chunk.empty(); chunk = again.Next()) rest.insert(rest.end(), chunk.begin(), chunk.end());
  if (!std::equal(rest.begin(), rest.end(), expanded.begin() + middle.decoded, expanded.end()) ||
      rest.size() != expanded.size() - static_cast<size_t>(middle.decoded)) {
    return "resuming at " + std::to_string(middle.decoded) + " gave other bytes";
  }
  SoundSamples samples(std::make_unique<ByteViewStream>(item), 0, -1);
  samples.CompleteIndex();
  std::vector<int16_t> out(static_cast<size_t>(64) * std::max(1, samples.Format().channels));
  for (const int64_t at : {int64_t{-10}, int64_t{0}, samples.FrameCount() / 2, samples.FrameCount() - 5}) {
    samples.ReadSamples(at, 64, out.data());
  }
  return {};
}

std::string CheckSoundExpansion(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  std::vector<uint8_t> treeBytes(kHuffTreeBytes, 0);
  std::copy_n(input.begin(), std::min(size, kHuffTreeBytes), treeBytes.begin());
  const auto tree = ParseHuffTree(treeBytes);
  int32_t length = 0;
  std::span<const uint8_t> bits;
  if (size >= kHuffTreeBytes + 4) {
    for (int i = 3; i >= 0; --i) length = static_cast<int32_t>(static_cast<uint32_t>(length) << 8 | data[kHuffTreeBytes + i]);
    bits = input.subspan(kHuffTreeBytes + 4);
  } else {
    // Short inputs still exercise the table: a length from the size.
    length = static_cast<int32_t>(size * 3);
    bits = input.subspan(std::min(size, size_t{16}));
  }
  // The output can be at most 8 bytes a bit-stream byte; the length is
  // capped so that a hostile one does not only measure memory.
  length = std::min<int32_t>(length, static_cast<int32_t>(bits.size() * 8 + 64));

  std::vector<uint8_t> walked;
  const SoundDecodeResult walk = WalkSoundTrack(tree, length, bits, walked);

  std::vector<uint8_t> whole;
  const SoundDecodeResult table = ExpandSoundTrack(tree, length, bits, whole);
  if (table.status != walk.status || table.bytesRead != walk.bytesRead || whole != walked) {
    return "table " + Describe(table, whole.size()) + " but walk " + Describe(walk, walked.size());
  }

  // In pieces through small buffers, the sizes taken from the input.
  const SoundTableDecoder decoder(tree);
  SoundExpansion expansion(length);
  std::vector<uint8_t> pieces;
  std::vector<uint8_t> buffer;
  size_t at = 0;
  size_t read = 0;
  uint32_t seed = size > 0 ? data[size / 2] : 0;
  while (expansion.WantsInput() && at < bits.size()) {
    seed = seed * 1103515245u + 12345u;
    const size_t piece = std::min(bits.size() - at, size_t{1} + (seed >> 16) % 300);
    buffer.resize(SoundTableDecoder::kOutputSlack + 8 + (seed >> 8) % 2000);
    const SoundTableDecoder::Expanded done = decoder.ExpandInto(expansion, bits.subspan(at, piece), buffer);
    if (done.read == 0) return "a piece was not taken";
    pieces.insert(pieces.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(done.written));
    read += done.read;
    at += done.read;
  }
  if (length <= 0) read = 0;
  if (expansion.status != walk.status || read != walk.bytesRead || pieces != walked) {
    return "pieces: status " + std::to_string(static_cast<int>(expansion.status)) + ", read " +
           std::to_string(read) + ", wrote " + std::to_string(pieces.size()) + " but walk " +
           Describe(walk, walked.size());
  }
  if (size >= kHuffTreeBytes + 4) return CheckSoundExpander(input, walked);
  return {};
}

std::string CheckIcon(const uint8_t* data, size_t size) {
  MemoryStream stream;
  stream.Write(data, size);
  stream.Seek(0, SeekOrigin::Begin);
  Icon icon;
  try {
    icon.LoadFromStream(stream);
  } catch (const Error&) {
    return {};
  }
  Bitmap screen(40, 40);
  screen.GetCanvas().Draw(4, 4, icon);
  screen.GetCanvas().Draw(-20, 30, icon);
  return {};
}

std::string CheckJpeg(const uint8_t* data, size_t size) {
  MemoryStream stream;
  stream.Write(data, size);
  stream.Seek(0, SeekOrigin::Begin);
  // As the player holds it for a 256 x 192 recording; the frame is kept
  // from input to input, as FrameBitmap is from block to block.
  JpegImage jpeg;
  jpeg.SetMaxSize(256, 192);
  static Bitmap frame(256, 192);
  for (int pass = 0; pass < 2; ++pass) {
    try {
      jpeg.LoadFromStream(stream);
      Bitmap block;
      jpeg.AssignTo(block);
      frame.GetCanvas().Draw(240, -3, block);
    } catch (const Error&) {
    }
    // The same decompressor again, as for the next block.
    stream.Seek(0, SeekOrigin::Begin);
  }
  return {};
}

}  // namespace sp::hardening
