#pragma once

#include <string>
#include <vector>

#include "tools/export.h"

namespace sp::tool {

// export's HTML output (options.html): checks the recording (ToolError for
// a file that is no recording, and for a damaged one unless salvaging, the
// page then playing up to the damage), finds the web player and writes the
// page. The summary names the page, and with salvage what is left out.
ExportSummary ExportHtml(const ExportOptions& options);

// The files of the built web player (build-web/selfplay-web) that a
// one-file page carries.
struct WebPlayerFiles {
  std::string folder;
};

// Where the built web player is: $SELFPLAY_WEB_DIR, else build-web/
// selfplay-web in the source tree this tool was configured from, else the
// installed share/selfplay/web beside the program's prefix. ToolError
// naming the places looked in when none holds it.
WebPlayerFiles FindWebPlayer();

// Writes one self-contained HTML page that plays `recording` from file://
// with no network: the player's scripts, its WebAssembly and the recording
// inside it as base64, the CSS inline, one <selfplay-player> element.
// ToolError when a file cannot be read or the page cannot be written.
void WriteHtmlPage(const std::string& recording, const std::string& output, const WebPlayerFiles& player);

// Base64 (RFC 4648, with padding).
std::string Base64(const std::vector<uint8_t>& bytes);

}  // namespace sp::tool
