#pragma once

#include <cstdint>
#include <string>

namespace sp::tool {

// A one-line bar on stderr, drawn only when stderr is a terminal, so that a
// script or a test sees nothing of it.
class ProgressBar {
 public:
  enum class Output { TerminalOnly, Never };

  ProgressBar(std::string label, int64_t total, Output output = Output::TerminalOnly);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(int64_t done);
  // Clears the line; the destructor does it too.
  void Finish();

 private:
  std::string label_;
  int64_t total_;
  bool enabled_;
  int lastPercent_ = -1;
};

}  // namespace sp::tool
