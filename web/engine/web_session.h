#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playback/idle_stretches.h"
#include "playback/seekable_playback.h"
#include "web/engine/rgba_picture.h"
#include "web/engine/sound_reader.h"

namespace sp::web {

// One recording the page has open: the seekable playback over the page's
// file, the picture as RGBA, and the sound. What the C API's handle names.
class WebSession {
 public:
  // Opens a new reader of the recording's file each time it is called.
  using FileOpener = std::function<std::unique_ptr<Stream>()>;

  // Throws what SeekablePlayback's constructor throws.
  explicit WebSession(FileOpener openFile);

  SeekablePlayback& Playback() { return *playback_; }

  // Indexes a slice more: up to maxRecords frame records (and 4 KB of file
  // a record), then the sound track (about maxRecords * 256 decoded bytes a
  // step); false once complete. The scene
  // marks, the sound and the idle stretches are ready then.
  bool IndexStep(int maxRecords);

  // The picture at `tick`, and the part that changed since the last call.
  const uint8_t* PictureAt(int64_t tick, Rect* changed);
  const uint8_t* PreviewAt(int64_t tick, int maxWidth, int* width, int* height);

  const std::vector<double>& Marks() const { return marks_; }
  const std::vector<IdleStretch>& Idle() const { return idle_; }
  // Null without a playable sound track.
  SoundReader* Sound() { return sound_.get(); }
  // Why the sound track does not play; "" when it does or there is none.
  const std::string& SoundProblem() const { return soundProblem_; }

  std::string DamageText() const;

 private:
  void Finish();

  FileOpener openFile_;
  std::unique_ptr<SeekablePlayback> playback_;
  // A second reader for the seek bar's previews, so that hovering leaves
  // the playing picture alone; made at the first preview.
  std::unique_ptr<SeekablePlayback> previewPlayback_;
  RgbaPicture picture_;
  std::vector<uint8_t> preview_;
  std::vector<double> marks_;
  std::vector<IdleStretch> idle_;
  std::unique_ptr<SoundSamples> indexing_;  // the sound while it is indexed
  std::unique_ptr<SoundReader> sound_;
  std::string soundProblem_;
  bool finished_ = false;
};

// The scene marks (playback/scene_marks.h) as times in milliseconds.
std::vector<double> FindSceneMarks(const SeekablePlayback& playback);

}  // namespace sp::web
