// The C API over WebSession: handles, and every exception caught at the
// boundary, since none may cross into JS.
#include "web/engine/selfplay_api.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>

#include "payload/payload_reader.h"
#include "web/engine/js_stream.h"
#include "web/engine/web_session.h"

namespace {

using sp::web::WebSession;

struct Entry {
  std::unique_ptr<WebSession> session;
  std::string error;
  std::string damage;
};

std::map<int, Entry>& Handles() {
  static std::map<int, Entry> handles;
  return handles;
}
std::string& OpenError() {
  static std::string error;
  return error;
}
int g_nextHandle = 1;

Entry* Find(int handle) {
  auto it = Handles().find(handle);
  return it == Handles().end() ? nullptr : &it->second;
}

// Runs f on the handle's session; on an exception keeps its text and
// returns `failed`.
template <typename T, typename F>
T With(int handle, T failed, F f) {
  Entry* entry = Find(handle);
  if (!entry) return failed;
  try {
    return f(*entry->session);
  } catch (const sp::PayloadEndError& e) {
    entry->error = e.Fault().message;
  } catch (const sp::DamagedRecording& e) {
    entry->error = e.Fault().message;
  } catch (const std::bad_alloc&) {
    entry->error = "Out of memory";
  } catch (const std::exception& e) {
    entry->error = e.what();
  }
  return failed;
}

int64_t TickOf(double tick) {
  if (!std::isfinite(tick)) return tick > 0 ? INT64_MAX / 2 : 0;
  return static_cast<int64_t>(std::clamp(tick, 0.0, 9.0e15));
}

std::string NoRecording(const std::string& problem) {
  return "This file is no recording: a recording behind the Windows or Linux player, or a bare "
         "recording, was expected (" + problem + ")";
}

}  // namespace

extern "C" {

int sp_open(int source, double fileSize) {
  OpenError().clear();
  if (!std::isfinite(fileSize) || fileSize < 0 || fileSize > 9.0e15) {
    OpenError() = "The file's size is not valid";
    return 0;
  }
  try {
    const auto size = static_cast<int64_t>(fileSize);
    auto session = std::make_unique<WebSession>(
        [source, size] { return std::make_unique<sp::web::JsStream>(source, size); });
    const int handle = g_nextHandle++;
    Handles()[handle].session = std::move(session);
    return handle;
  } catch (const sp::PayloadEndError& e) {
    OpenError() = NoRecording(e.Fault().message);
  } catch (const sp::DamagedRecording& e) {
    OpenError() = NoRecording(e.Fault().message);
  } catch (const std::bad_alloc&) {
    OpenError() = "Out of memory opening the recording";
  } catch (const std::exception& e) {
    OpenError() = NoRecording(e.what());
  }
  return 0;
}

const char* sp_error(int handle) {
  if (handle == 0) return OpenError().c_str();
  Entry* entry = Find(handle);
  return entry ? entry->error.c_str() : "";
}

int sp_width(int h) {
  return With(h, 0, [](WebSession& s) { return s.Playback().Width(); });
}
int sp_height(int h) {
  return With(h, 0, [](WebSession& s) { return s.Playback().Height(); });
}

int sp_index_step(int h, int maxRecords) {
  const int more = With(h, 0, [&](WebSession& s) { return s.IndexStep(std::max(1, maxRecords)) ? 1 : 0; });
  // A sound track that does not play is said once, when the index is done.
  if (Entry* entry = Find(h); entry && !more && !entry->session->SoundProblem().empty() && entry->error.empty()) {
    entry->error = "The picture plays without sound: " + entry->session->SoundProblem();
  }
  return more;
}

int sp_idle_work(int h) {
  return With(h, 0, [](WebSession& s) {
    return s.Playback().DoIdleWork() ? 1 : 0;
  });
}

double sp_duration_ms(int h) {
  return With(h, 0.0, [](WebSession& s) { return static_cast<double>(s.Playback().DurationMilliseconds()); });
}
int sp_tick_ms(int h) {
  return With(h, 0, [](WebSession& s) { return s.Playback().TickMilliseconds(); });
}
double sp_last_tick(int h) {
  return With(h, 0.0, [](WebSession& s) { return static_cast<double>(s.Playback().LastTick()); });
}
int sp_frame_count(int h) {
  return With(h, 0, [](WebSession& s) { return s.Playback().FrameCount(); });
}
double sp_tick_of_frame(int h, int frame) {
  return With(h, 0.0, [&](WebSession& s) {
    frame = std::clamp(frame, 0, std::max(0, s.Playback().FrameCount() - 1));
    return static_cast<double>(s.Playback().TickOfFrame(frame));
  });
}
int sp_frame_of_tick(int h, double tick) {
  return With(h, 0, [&](WebSession& s) {
    return s.Playback().FrameOfTick(std::min(TickOf(tick), s.Playback().LastTick()));
  });
}

uint8_t* sp_picture_at(int h, double tick, int* rect) {
  return With(h, static_cast<uint8_t*>(nullptr), [&](WebSession& s) {
    sp::Rect changed;
    const uint8_t* data = s.PictureAt(TickOf(tick), &changed);
    if (rect) {
      rect[0] = changed.left;
      rect[1] = changed.top;
      rect[2] = std::max(0, changed.Width());
      rect[3] = std::max(0, changed.Height());
    }
    return const_cast<uint8_t*>(data);
  });
}

uint8_t* sp_preview_at(int h, double tick, int maxWidth, int* size) {
  return With(h, static_cast<uint8_t*>(nullptr), [&](WebSession& s) {
    int w = 0, ht = 0;
    const uint8_t* data = s.PreviewAt(TickOf(tick), maxWidth, &w, &ht);
    if (size) {
      size[0] = w;
      size[1] = ht;
    }
    return const_cast<uint8_t*>(data);
  });
}

const char* sp_damage(int h) {
  Entry* entry = Find(h);
  if (!entry) return "";
  entry->damage = entry->session->DamageText();
  return entry->damage.c_str();
}

int sp_marks(int h, double* milliseconds, int max) {
  return With(h, 0, [&](WebSession& s) {
    const auto& marks = s.Marks();
    const int n = static_cast<int>(marks.size());
    for (int i = 0; i < std::min(n, max) && milliseconds; ++i) milliseconds[i] = marks[i];
    return n;
  });
}

int sp_idle_stretches(int h, double* startEnd, int max) {
  return With(h, 0, [&](WebSession& s) {
    const auto& idle = s.Idle();
    const int n = static_cast<int>(idle.size());
    for (int i = 0; i < std::min(n, max) && startEnd; ++i) {
      startEnd[2 * i] = idle[i].start;
      startEnd[2 * i + 1] = idle[i].end;
    }
    return n;
  });
}

int sp_sound_rate(int h) {
  return With(h, 0, [](WebSession& s) { return s.Sound() ? s.Sound()->Rate() : 0; });
}
int sp_sound_channels(int h) {
  return With(h, 0, [](WebSession& s) { return s.Sound() ? s.Sound()->Channels() : 0; });
}
double sp_sound_frames(int h) {
  return With(h, 0.0, [](WebSession& s) { return s.Sound() ? static_cast<double>(s.Sound()->Frames()) : 0.0; });
}

int sp_sound_read(int h, double firstFrame, int count, float* out, double speed) {
  return With(h, 0, [&](WebSession& s) {
    if (!s.Sound() || !out || count <= 0) return 0;
    return s.Sound()->Read(TickOf(firstFrame), count, out, speed);
  });
}

double sp_sound_next_frame(int h) {
  return With(h, 0.0, [](WebSession& s) { return s.Sound() ? static_cast<double>(s.Sound()->Next()) : 0.0; });
}

void sp_close(int h) { Handles().erase(h); }

}  // extern "C"
