// The web player's engine as a C API: what selfplay-player.js calls in the
// WebAssembly module (exported with a leading underscore, `Module._sp_open`).
//
// Conventions
// - A recording is opened as a handle (> 0). Every call with a handle that is
//   not open, or closed, returns 0 / an empty result and does nothing.
// - Times: the picture is addressed by ticks of the stub's frame clock
//   (sp_tick_ms() milliseconds each); marks, idle stretches and the duration
//   are in milliseconds. Doubles carry 64-bit counts exactly up to 2^53.
// - Pointers returned into the module's memory stay valid until the next call
//   on the same handle. Memory can grow during any call, so JS must build its
//   views (HEAPU8.subarray ...) after the call, never keep one across calls.
// - No call throws into JS: every engine error is caught, kept as the
//   handle's error text (sp_error) and turned into a 0 / empty result.
// - One thread: a handle is used from the one thread (the worker) that opened it.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// The file, read on demand.
//
// The module imports one JS function, provided on the Module object before
// the first sp_open:
//     Module.spRead(source, offset, length, dst) -> bytes read
// It copies up to `length` bytes of the file named by `source` (the number
// given to sp_open), starting at byte `offset` (a Number), into the module's
// memory at HEAPU8[dst ...], and returns how many it copied: `length` except
// at the end of the file (fewer, 0 past the end), or -1 when the file
// cannot be read (then the engine reports "Stream read error" with the item
// it was reading). In a worker: FileReaderSync over Blob.slice.
// ---------------------------------------------------------------------------

// Opens the recording held by the JS-side file `source` (any number the JS
// chooses, passed back to Module.spRead) of `fileSize` bytes. Finds the
// payload as selfplay-view does (behind a Windows stub or any PE image,
// behind the Linux stub, or a bare recording), reads the headers and frame 0
// only, so the first picture can be shown at once; the rest of the index is
// read by sp_index_step. Returns a handle > 0, or 0 when nothing can be
// shown: then sp_error(0) says why.
int sp_open(int source, double fileSize);

// The last error of `handle` as UTF-8 text; for handle 0, why the last
// sp_open failed. "" when there is none. Names the item and offset when a
// recording is damaged, e.g. "The recording is damaged: frame 12 record at
// offset 48213: ...". For a file that is no recording it names what was
// expected.
const char* sp_error(int handle);

// The picture's size in pixels.
int sp_width(int handle);
int sp_height(int handle);

// Reads up to `maxRecords` more frame records into the index (no decoding),
// and once they are all read, the sound track's checkpoints (about
// maxRecords * 256 decoded bytes a step). Returns 1 while more remain, 0
// when the index is complete (also after damage: the recording then ends
// before the damaged frame, see sp_damage); the marks, the idle stretches
// and the sound are ready then.
// The counts and times below grow while the index does; until it is
// complete, sp_duration_ms and friends describe what is indexed so far.
int sp_index_step(int handle, int maxRecords);

// One slice of the work for idle moments once the index is complete
// (milliseconds): first the full-frame snapshots seeks start from, one frame
// composed from the snapshot before it, in time order within the memory
// budget; then the read-through of the blocks seeks never decode, which
// finds a block drawn over later that does not decode and ends the
// recording before it. Returns 1 while work remains, 0 when done. Without
// snapshots a seek composes from further back (p95 of a 1-hour 1080p
// recording: 300 ms without, under 100 ms with them).
int sp_idle_work(int handle);

// The length of the recording: the tick at which its picture last changes
// (sp_last_tick) times sp_tick_ms.
double sp_duration_ms(int handle);
// The frame clock's period in milliseconds (FrameInterval / ticks per frame).
int sp_tick_ms(int handle);
double sp_last_tick(int handle);
// Frames that can be shown, frame 0 included; the tick at which `frame`
// begins; the frame shown at `tick` (clamped to the indexed frames).
int sp_frame_count(int handle);
double sp_tick_of_frame(int handle, int frame);
int sp_frame_of_tick(int handle, double tick);

// Composes what the stub's window shows at `tick` (clamped to 0 ..
// sp_last_tick): frame, caption and cursor. Returns the whole picture,
// sp_width * sp_height RGBA bytes (alpha 255), rows top-down, and writes
// into rect[0..3] (x, y, w, h) the rectangle that differs from the picture
// the previous sp_picture_at of this handle returned (the whole picture on
// the first call; w = h = 0 when nothing changed). Only that rectangle
// needs to be put on the canvas. Returns 0 on an error (sp_error); a block
// that fails to decode ends the recording there, as sp_damage then says.
uint8_t* sp_picture_at(int handle, double tick, int* rect);

// The frame shown at `tick` (without the cursor) scaled down (smoothly) to
// at most `maxWidth` pixels wide, aspect kept, for the seek bar's hover
// preview: RGBA, size[0] x size[1] written into `size`. Composed by a
// second reader of the file (made, and its index read, at the first
// preview; a few screenfuls of snapshots), so the playing picture and its
// changed rectangles are left alone.
uint8_t* sp_preview_at(int handle, double tick, int maxWidth, int* size);

// "" when the recording is undamaged as far as it was read; else where its
// damage is: the item and its offset, as `selfplay-tool info` names them.
const char* sp_damage(int handle);

// The scene marks, as selfplay-view sets them on its seek bar and export
// names its chapters (playback/scene_marks.h): the times (ms) where scenes
// begin, ascending. Writes at most `max`, returns how many there are (call
// with max 0 to count). Meaningful once the index is complete.
int sp_marks(int handle, double* milliseconds, int max);

// The idle stretches to skip (nothing changes, the cursor stands still, the
// sound is silent), shortened so that the start of each still plays: pairs
// (start ms, end ms) into startEnd[0 .. 2*max). Returns how many stretches
// there are. Meaningful once the index is complete.
int sp_idle_stretches(int handle, double* startEnd, int max);

// The sound track: sample rate (frames per second), channels, length in
// frames. All 0 for a recording without one, or whose track is no PCM WAV
// (then sp_error says so).
int sp_sound_rate(int handle);
int sp_sound_channels(int handle);
double sp_sound_frames(int handle);

// Writes up to `count` frames of sound (channels interleaved, floats in
// -1 .. 1) into `out`, taken from the track starting at source frame
// `firstFrame` and played at `speed` (0.5 .. 4; not 1: time-stretched with
// the pitch kept). Returns the frames written; 0 at the end of the track.
// At speed 1 a read of n frames consumes n source frames. At another speed
// the stretcher keeps its state while reads follow each other: pass the
// source frame sp_sound_next_frame returns to continue seamlessly; any
// other firstFrame (a seek) or a new speed starts it afresh.
int sp_sound_read(int handle, double firstFrame, int count, float* out, double speed);
// The source frame at which the next sp_sound_read continues the last one.
double sp_sound_next_frame(int handle);

// Closes the handle and frees everything it holds.
void sp_close(int handle);

#ifdef __cplusplus
}
#endif
