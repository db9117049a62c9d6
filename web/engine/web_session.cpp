#include "web/engine/web_session.h"

#include <algorithm>

#include "payload/wav_samples.h"

namespace sp::web {

namespace {
// A frame whose blocks cover this share of the screen starts a scene.
constexpr double kSceneShare = 0.4;

SeekablePlayback::Options WebOptions() {
  SeekablePlayback::Options options;
  // The first picture shows before the index is read.
  options.indexAtOpen = false;
  return options;
}
}  // namespace

WebSession::WebSession(std::unique_ptr<Stream> file)
    : playback_(std::make_unique<SeekablePlayback>(std::move(file), WebOptions())) {}

bool WebSession::IndexStep(int /*maxRecords*/) {
  if (finished_) return false;
  playback_->CompleteIndex();
  Finish();
  return false;
}

void WebSession::Finish() {
  finished_ = true;
  marks_ = FindSceneMarks(*playback_);
  WavSamples samples;
  if (playback_->HasSoundTrack()) {
    if (DecodeWavSamples(playback_->ExpandSound(), &samples) && samples.channels > 0 &&
        samples.rate > 0) {
      idle_ = FindIdleStretches(*playback_, samples);
      sound_ = std::make_unique<SoundReader>(std::move(samples));
      return;
    }
    soundProblem_ = "the sound track is no PCM WAV file";
  }
  idle_ = FindIdleStretches(*playback_, WavSamples{});
}

const uint8_t* WebSession::PictureAt(int64_t tick, Rect* changed) {
  *changed = picture_.Update(playback_->PictureAt(tick));
  return picture_.Data();
}

const uint8_t* WebSession::PreviewAt(int64_t tick, int maxWidth, int* width, int* height) {
  ScaleToRgba(playback_->PictureAt(tick), maxWidth, preview_, width, height);
  return preview_.data();
}

std::string WebSession::DamageText() const {
  const auto& damage = playback_->Damage();
  return damage ? damage->message : std::string();
}

std::vector<double> FindSceneMarks(const SeekablePlayback& playback) {
  std::vector<double> marks;
  const double screen = static_cast<double>(playback.Width()) * playback.Height();
  const auto& frames = playback.Frames();
  const auto& blocks = playback.Blocks();
  for (int32_t k = 1; k < playback.FrameCount(); ++k) {
    const IndexedFrame& f = frames[k];
    double area = 0;
    for (uint32_t b = f.firstBlock; b < f.firstBlock + f.blockCount; ++b) {
      const Rect& r = blocks[b].rect;
      area += std::max(0, r.right - r.left) * static_cast<double>(std::max(0, r.bottom - r.top));
    }
    if (area >= kSceneShare * screen || f.icon.size > 0) {
      const double ms = static_cast<double>(playback.MillisecondsOf(playback.TickOfFrame(k)));
      if (marks.empty() || ms - marks.back() >= 1000) marks.push_back(ms);
    }
  }
  return marks;
}

}  // namespace sp::web
