#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sp::hardening {

// The bodies of the fuzz targets, also run by the regression tests on every
// file kept from a finding. Each returns what went wrong, empty when nothing
// did; a crash, a sanitizer report or a hang is a finding of its own.

// The whole player on the headless back end, the bytes being the payload
// behind a stub: at most a few thousand ticks; every box must be known.
std::string CheckPlayerPayload(const uint8_t* data, size_t size);

// The table decoder against the bit-by-bit walk: the tree from the first
// 8,176 bytes (zeros where the input is shorter), the length from the next
// four, the rest the bit stream, expanded whole, in pieces, through small
// buffers and through the expander over a stream (from the start and from a
// checkpoint). Every result must equal the walk's.
std::string CheckSoundExpansion(const uint8_t* data, size_t size);

// The icon loader, and drawing what it loaded: only the framework's own
// errors may come out.
std::string CheckIcon(const uint8_t* data, size_t size);

// The JPEG wrapper decoding into a bitmap and pasting it onto a frame, as a
// block is: only the framework's own errors may come out.
std::string CheckJpeg(const uint8_t* data, size_t size);

// The viewer's model: opened, indexed, its sound expanded as the viewer
// does, then pictures at ticks drawn from a hash of the input. Where the
// picture is small and the recording short, each picture reached by a seek
// must equal the one reached by playing straight to its tick.
std::string CheckSeeks(const uint8_t* data, size_t size);

// The payload locator on any file, PE headers included: a place it takes
// must lie inside the file and hold a header the player can play; a
// refusal must say why.
std::string CheckLocate(const uint8_t* data, size_t size);

// `selfplay-tool info`, text and --json (with --decode when the first byte
// is a multiple of 4): exit status 0 or 1, a message with every failure,
// everything printed UTF-8, one JSON object on its line.
std::string CheckInfo(const uint8_t* data, size_t size);

// The on-demand sound, the bytes being a sound-track item: resuming the
// expansion from each checkpoint gives the bytes and the ending that
// expanding from the start gives from there; samples read at places drawn
// from the input equal those read in order.
std::string CheckSoundFromCheckpoint(const uint8_t* data, size_t size);

}  // namespace sp::hardening
