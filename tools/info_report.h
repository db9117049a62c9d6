#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "tools/inspect.h"

namespace sp::tool {

// The layout in words, one topic a line: what was read before any damage
// (the damage itself is for the caller to report).
std::string InfoText(const RecordingInfo& info);

// The same as one JSON object, the damage included ("damage": null when none).
std::string InfoJson(const RecordingInfo& info);
nlohmann::ordered_json InfoJsonObject(const RecordingInfo& info);

}  // namespace sp::tool
