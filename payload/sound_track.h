#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sp {

// How an expansion of the sound track ended.
enum class SoundTrackResult {
  kWritten,       // all of the decoded length was written
  kCannotCreate,  // the output file was refused ("failed2")
  kWriteFailed,   // writing or closing the output failed
  kDamaged,       // the tree or length is cut off, or a child index lies outside 0..510
  kTruncated,     // the bit stream ended before the decoded length was reached
};

// The name of the expanded sound track in the temporary directory.
inline constexpr const char* kSoundFileName = "vexa.wav";

// The expansion of the sound-track item that `in` stands at: 511
// nodes, the decoded length L, then the bits, most significant first. Every
// decoded byte goes to `out` in writes of at most 10,000 bytes. It reads the
// tree only at indices 0..510 and stops at the end of the file without
// inventing bits; what was decoded up to a damage or the end is written.
// The bit stream ends at the file offset `bitStreamEnd` (the video stream's
// start), or at the end of the file when it is negative: a decoded length
// larger than the bit stream gives the bytes decoded up to there, never the
// video stream read as sound. `decoded`, when given, gets the number of
// bytes decoded and written.
SoundTrackResult ExpandSoundFile(std::FILE* in, std::FILE* out, int64_t bitStreamEnd = -1,
                                 int64_t* decoded = nullptr);

// Creates `path` privately (no symbolic link followed, mode 0600) and
// expands the sound track from `in` into it. When writing fails (a full
// disk) the part written is removed.
SoundTrackResult DecodeSoundTrack(const std::string& path, std::FILE* in, int64_t bitStreamEnd = -1,
                                  int64_t* decoded = nullptr);

}  // namespace sp
