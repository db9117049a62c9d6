#include "tools/html_output.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

#include "payload/payload_reader.h"
#include "playback/seekable_playback.h"
#include "platform/errors.h"
#include "tools/command_line.h"
#include "tools/file_util.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

// The player's own files; every other script of the folder is one of its
// parts, which it imports by name.
constexpr std::string_view kPlayer = "selfplay-player.js";
constexpr std::string_view kWorker = "selfplay-worker.js";
constexpr std::string_view kLoader = "selfplay-player-engine.js";
constexpr std::string_view kWasm = "selfplay-player.wasm";
constexpr std::string_view kStyles = "selfplay-player.css";

bool HoldsPlayer(const fs::path& folder) {
  std::error_code error;
  for (std::string_view name : {kPlayer, kWorker, kLoader, kWasm, kStyles}) {
    if (!fs::is_regular_file(folder / name, error)) return false;
  }
  return true;
}

std::string Text(const fs::path& file) {
  const std::vector<uint8_t> bytes = ReadWholeFile(file.string());
  return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::string EscapeHtml(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A data block the page's script decodes; base64 holds nothing the HTML
// parser could take for the end of the element.
std::string DataBlock(const std::string& id, const std::vector<uint8_t>& bytes) {
  return "<script type=\"application/octet-stream\" id=\"" + id + "\">" + Base64(bytes) + "</script>\n";
}

// Decodes the blocks, hands the parts over as Blob URLs (the worker as the
// loader and the worker's script in one, since a Blob-URL worker of a
// file:// page can load nothing), then imports the player and gives it the
// recording's bytes.
constexpr std::string_view kBootScript = R"(<script type="module">
const block = (id) => document.getElementById(id).textContent;
function decode(id) {
  const text = block(id).replace(/\s+/g, '');
  const out = new Uint8Array(Math.floor(text.length * 3 / 4) - (text.endsWith('==') ? 2 : text.endsWith('=') ? 1 : 0));
  // In slices: atob of a whole recording would need one huge string more.
  const slice = 4 * 1024 * 1024;
  let at = 0;
  for (let i = 0; i < text.length; i += slice) {
    const binary = atob(text.slice(i, i + slice));
    for (let j = 0; j < binary.length; ++j) out[at++] = binary.charCodeAt(j);
  }
  return out;
}
const script = (...parts) => URL.createObjectURL(new Blob(parts, {type: 'text/javascript'}));
const files = {};
for (const element of document.querySelectorAll('script[data-part]')) {
  files[element.dataset.part] = script(decode(element.id));
}
files['selfplay-worker.js'] = script(decode('selfplay-loader'), '\n', decode('selfplay-worker'));
globalThis.SelfplayPlayerAssets = {files, wasmBinary: decode('selfplay-wasm'), styles: false};
const player = document.getElementById('selfplay-recording');
try {
  await import(script(decode('selfplay-player')));
  await customElements.whenDefined('selfplay-player');
  await player.load(decode('selfplay-data'));
} catch (error) {
  const message = document.createElement('p');
  message.className = 'selfplay-export-error';
  message.textContent = String(error && error.message || error);
  player.after(message);
}
</script>
)";

}  // namespace

WebPlayerFiles FindWebPlayer() {
  if (const char* dir = std::getenv("SELFPLAY_WEB_DIR"); dir && *dir) {
    // Named on purpose: another copy found elsewhere would not be the one meant.
    if (HoldsPlayer(dir)) return {dir};
    throw ToolError(std::string("SELFPLAY_WEB_DIR names ") + dir + ", which holds no built web player (" +
                    std::string(kPlayer) + ", " + std::string(kLoader) + ", " + std::string(kWasm) + " ...)");
  }
  std::vector<fs::path> places;
#ifdef SELFPLAY_SOURCE_WEB_DIR
  places.emplace_back(SELFPLAY_SOURCE_WEB_DIR);
#endif
  const fs::path program = ProgramDirectory();
  if (!program.empty()) places.push_back(program.parent_path() / "share" / "selfplay" / "web");
#ifdef SELFPLAY_INSTALLED_WEB_DIR
  places.emplace_back(SELFPLAY_INSTALLED_WEB_DIR);
#endif
  std::string looked;
  for (const fs::path& place : places) {
    if (HoldsPlayer(place)) return {place.string()};
    looked += (looked.empty() ? "" : ", ") + place.string();
  }
  throw ToolError("the web player is not built (looked in " + looked +
                  "): build it with cmake --preset web && cmake --build --preset web, or name its "
                  "folder in SELFPLAY_WEB_DIR");
}

ExportSummary ExportHtml(const ExportOptions& options) {
  // The page plays what selfplay-view opens: a file it could not open is
  // refused here rather than written into a page that only says so.
  std::optional<ItemFault> damage;
  try {
    auto playback = SeekablePlayback::Open(options.path);
    playback->CompleteIndex();
    // Every block read through, the hidden ones too: the page must not
    // find damage later that this export did not name.
    while (playback->CheckNextFrames()) {
    }
    damage = playback->Damage();
  } catch (const PayloadEndError& e) {
    throw ToolError("it is no recording: " + e.Fault().message);
  } catch (const DamagedRecording& e) {
    throw ToolError("it is no recording: " + e.Fault().message);
  } catch (const Error& e) {
    throw ToolError(std::string("it is no recording: ") + e.what());
  }
  ExportSummary summary;
  if (damage) {
    if (options.damage != ExportOptions::Damage::kSalvage) {
      throw ToolError("the recording is damaged: " + damage->message +
                      "; --salvage writes the page, which plays up to the damage");
    }
    summary.leftOut.push_back("the page plays up to the damage: " + damage->message);
  }
  WriteHtmlPage(options.path, options.html, FindWebPlayer());
  summary.files.push_back(options.html);
  if (options.onProgress) options.onProgress(1, 1);
  return summary;
}

void WriteHtmlPage(const std::string& recording, const std::string& output, const WebPlayerFiles& player) {
  const fs::path folder = player.folder;
  const std::string name = fs::path(recording).filename().string();
  std::string css = Text(folder / kStyles);
  // Nothing in the styles may end the <style> element early.
  for (size_t at = css.find("</"); at != std::string::npos; at = css.find("</", at + 3)) {
    css.replace(at, 2, "<\\/");
  }
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<title>" + EscapeHtml(name) + "</title>\n<style>\n" + css +
                     "\nbody { margin: 0; background: #202124; }\n</style>\n</head>\n<body>\n"
                     "<selfplay-player id=\"selfplay-recording\" controls></selfplay-player>\n";
  page += DataBlock("selfplay-data", ReadWholeFile(recording));
  page += DataBlock("selfplay-wasm", ReadWholeFile((folder / kWasm).string()));
  page += DataBlock("selfplay-loader", ReadWholeFile((folder / kLoader).string()));
  page += DataBlock("selfplay-worker", ReadWholeFile((folder / kWorker).string()));
  page += DataBlock("selfplay-player", ReadWholeFile((folder / kPlayer).string()));
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".js" || file == kPlayer || file == kWorker || file == kLoader) continue;
    page += "<script type=\"application/octet-stream\" data-part=\"" + EscapeHtml(file) + "\" id=\"part-" +
            EscapeHtml(file) + "\">" + Base64(ReadWholeFile(entry.path().string())) + "</script>\n";
  }
  page += kBootScript;
  page += "</body>\n</html>\n";
  WriteWholeFile(output, Bytes(page), FileMode::Plain);
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    const uint32_t v = uint32_t{bytes[i]} << 16;
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const uint32_t v = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8;
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
  }
  return out;
}

}  // namespace sp::tool
