#include "playback/sound_device.h"

#include "payload/sound_track.h"
#include "platform/application.h"
#include "platform/shell.h"
#include "playback/playback_form.h"

namespace sp {

std::string SoundFilePath(const PlaybackForm& form) {
  std::string dir = form.App().GetSystem().TempPath();
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  return dir + kSoundFileName;
}

void StartSoundTrack(PlaybackForm& form, CFile& in, uint32_t videoOffset) {
  const Application& app = form.App();
  std::string path = SoundFilePath(form);
  int64_t decoded = 0;
  // The bit stream runs up to the video stream.
  SoundTrackResult result = DecodeSoundTrack(path, in.get(), videoOffset, &decoded);
  in.reset();
  if (result == SoundTrackResult::kCannotCreate) app.ShowMessage(kCannotCreateSoundText);
  // A bit stream that ends early, or goes astray after some bytes, still
  // gave a playable beginning of the sound; only a track that gave nothing
  // usable is a failure.
  const bool nothingDecoded = decoded == 0;
  const bool failed = result == SoundTrackResult::kCannotCreate ||
                      result == SoundTrackResult::kWriteFailed ||
                      (result != SoundTrackResult::kWritten && nothingDecoded);
  if (failed) {
    app.ShowMessage(kSoundReadFailedText);
    form.HasSound = false;
    // A file that could not be created is still opened: an earlier
    // playback's file of that name may be there. A damaged track left a
    // file that is not the recording's sound, and one cut short by a full
    // disk was removed, so the playback stays silent.
    if (result != SoundTrackResult::kCannotCreate) return;
  }
  SoundStart(form, path);
}

void SoundStart(PlaybackForm& form, const std::string& path) {
  System& system = form.App().GetSystem();
  uint32_t device = 0;
  if (system.MciOpenWaveAudio(path, &device) != 0) {
    form.App().ShowMessage(kSoundOpenFailedText);
    form.HasSound = false;
    return;
  }
  form.SoundDevice = device;
  form.HasSound = true;
  if (system.MciPlayFrom(device, 0) != 0) {
    form.App().ShowMessage(kSoundPlayFailedText);
    system.MciClose(device, kMciWait);
    form.HasSound = false;
  }
}

void SoundStop(PlaybackForm& form, SoundWait wait) {
  if (!form.HasSound) return;
  form.App().GetSystem().MciClose(form.SoundDevice,
                                  wait == SoundWait::kWait ? kMciWait : kMciNoFlags);
  form.HasSound = false;
}

}  // namespace sp
