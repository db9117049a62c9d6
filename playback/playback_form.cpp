#include "playback/playback_form.h"

namespace sp {

PlaybackForm* PlayForm = nullptr;

}  // namespace sp
