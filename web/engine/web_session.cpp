#include "web/engine/web_session.h"

#include <algorithm>

#include "playback/scene_marks.h"

namespace sp::web {

namespace {

SeekablePlayback::Options WebOptions() {
  SeekablePlayback::Options options;
  // The first picture shows before the index is read.
  options.indexAtOpen = false;
  return options;
}
}  // namespace

WebSession::WebSession(FileOpener openFile)
    : openFile_(std::move(openFile)), playback_(std::make_unique<SeekablePlayback>(openFile_(), WebOptions())) {}

bool WebSession::IndexStep(int maxRecords) {
  if (finished_) return false;
  if (!playback_->Indexed()) {
    // A slice of the frame records, so that the worker answers the page
    // between steps; the records themselves are a few bytes each unless a
    // block is large, which the byte budget bounds.
    IndexBudget budget;
    budget.records = std::max(1, maxRecords);
    budget.bytes = int64_t{budget.records} * 4096;
    if (!playback_->IndexSome(budget)) return true;
    marks_ = FindSceneMarks(*playback_);
    indexing_ = playback_->OpenSound();
    if (indexing_) return true;
  }
  if (indexing_ && !indexing_->IndexSome(int64_t{std::max(1, maxRecords)} * 256)) return true;
  Finish();
  return false;
}

void WebSession::Finish() {
  finished_ = true;
  if (indexing_) {
    const SoundFormat format = indexing_->Format();
    if (!indexing_->IsPcm() || format.rate <= 0 || format.channels <= 0) {
      soundProblem_ = "the sound track is no PCM WAV file";
      indexing_.reset();
    }
  }
  // Reads the sound once, in order, through the expander's small window.
  idle_ = FindIdleStretches(*playback_, indexing_.get());
  if (indexing_) sound_ = std::make_unique<SoundReader>(std::move(indexing_));
}

const uint8_t* WebSession::PictureAt(int64_t tick, Rect* changed) {
  *changed = picture_.Update(playback_->PictureAt(tick));
  return picture_.Data();
}

const uint8_t* WebSession::PreviewAt(int64_t tick, int maxWidth, int* width, int* height) {
  if (!previewPlayback_) {
    // Its snapshots stay few (four screenfuls), as selfplay-view keeps its
    // preview reader's, to keep within the memory budget.
    SeekablePlayback::Options options;
    options.snapshotBudgetBytes = int64_t{playback_->Width()} * playback_->Height() * 4 * 4;
    previewPlayback_ = std::make_unique<SeekablePlayback>(openFile_(), options);
  }
  SeekablePlayback& preview = *previewPlayback_;
  const int32_t frame = preview.FrameOfTick(std::clamp<int64_t>(tick, 0, preview.LastTick()));
  ScaleToRgba(preview.FrameAt(frame), maxWidth, preview_, width, height);
  return preview_.data();
}

std::string WebSession::DamageText() const {
  const auto& damage = playback_->Damage();
  return damage ? damage->message : std::string();
}

std::vector<double> FindSceneMarks(const SeekablePlayback& playback) {
  std::vector<double> marks;
  for (int32_t frame : SceneMarkFrames(playback)) {
    marks.push_back(static_cast<double>(playback.MillisecondsOf(playback.TickOfFrame(frame))));
  }
  return marks;
}

}  // namespace sp::web
