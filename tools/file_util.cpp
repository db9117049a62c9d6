#include "tools/file_util.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "tools/command_line.h"

namespace sp::tool {

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw ToolError(path + ": " + std::strerror(EISDIR));
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) throw ToolError(path + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  if (std::ferror(file.get())) throw ToolError(path + ": read error");
  return bytes;
}

namespace {

// Where a file is written before it takes its name: beside it, so that the
// rename stays on one file system.
std::string PartialPath(const std::string& path) {
  const std::filesystem::path target(path);
  return (target.parent_path() / ("." + target.filename().string() + ".partial")).string();
}

}  // namespace

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, FileMode mode) {
  // A regular file (or a new one) is written under another name and renamed
  // when whole, so that a full disk or an interruption never leaves a part
  // of it under its name. Anything else (a device, a pipe, a symbolic link)
  // is written through as it is.
  std::error_code error;
  const auto status = std::filesystem::symlink_status(path, error);
  const bool replace = !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
  const std::string target = replace ? PartialPath(path) : path;
  auto fail = [&](const std::string& why) {
    if (replace) std::remove(target.c_str());
    throw ToolError(path + ": " + why);
  };
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(target.c_str(), "wb"), &std::fclose);
  if (!file) throw ToolError(path + ": " + std::strerror(errno));
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    const int why = errno;
    file.reset();
    fail(std::string("write error: ") + std::strerror(why));
  }
  if (std::fclose(file.release()) != 0) fail(std::string("write error: ") + std::strerror(errno));
  if (mode == FileMode::Executable && ::chmod(target.c_str(), 0755) != 0) {
    fail(std::string("cannot make it executable: ") + std::strerror(errno));
  }
  if (replace && std::rename(target.c_str(), path.c_str()) != 0) fail(std::strerror(errno));
}

void CheckOutputFree(const std::string& path, Overwrite overwrite) {
  if (overwrite == Overwrite::kForce) return;
  std::error_code error;
  // A dangling link counts: writing through it would create its target.
  if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
    throw ToolError(path + " exists already; --force overwrites it");
  }
}

std::string ProgramDirectory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return self.parent_path().string();
}

}  // namespace sp::tool
