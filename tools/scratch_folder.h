#pragma once

#include <string>

namespace sp::tool {

// A private folder under the temporary directory, removed with everything
// in it when the object goes.
class ScratchFolder {
 public:
  // prefix: the start of the folder's name, "selfplay-pack" and the like.
  explicit ScratchFolder(const std::string& prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // With the separator at the end, as the player's temporary path is given.
  std::string Path() const { return path_ + "/"; }

 private:
  std::string path_;
};

}  // namespace sp::tool
