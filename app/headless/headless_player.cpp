#include "app/headless/headless_player.h"

#include "app/play_form.h"
#include "app/player_main.h"
#include "payload/payload_reader.h"

namespace sp {

HeadlessPlayer::HeadlessPlayer(HeadlessSystem& system, ShowPlayer show)
    : system_(system), app_(system), form_(CreatePlayForm(app_)) {
  if (form_ && show == ShowPlayer::kNow) Show();
}

HeadlessPlayer::~HeadlessPlayer() = default;

void HeadlessPlayer::Show() {
  if (form_) system_.ShowMainForm(*form_);
}

const Bitmap& HeadlessPlayer::Picture() const { return form_->Image1.picture; }

int HeadlessPlayer::TickUntilClosed(int budget) {
  int delivered = 0;
  while (delivered < budget && !Closed() && system_.Tick()) ++delivered;
  return delivered;
}

std::optional<std::string> HeadlessPlayer::StopReason(size_t fromBox) const {
  const std::vector<MessageBoxRecord>& boxes = system_.MessageBoxes();
  for (size_t i = fromBox; i < boxes.size(); ++i) {
    if (boxes[i].kind == MessageBoxRecord::Kind::kError || boxes[i].text == kDamagedRecordingText) {
      return boxes[i].text;
    }
  }
  return std::nullopt;
}

}  // namespace sp
