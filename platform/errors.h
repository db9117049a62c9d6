#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sp {

// The framework's errors. Their what() is the exact text shown to the user;
// the error box adds the full stop.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StreamReadError : public Error {
 public:
  StreamReadError() : Error("Stream read error") {}
};

class JpegError : public Error {
 public:
  explicit JpegError(int code);
  int code() const { return code_; }

 private:
  int code_;
};

class InvalidIconError : public Error {
 public:
  InvalidIconError() : Error("Icon image is not valid") {}
};

class DivisionByZeroError : public Error {
 public:
  DivisionByZeroError() : Error("Division by zero") {}
};

class FileOpenError : public Error {
 public:
  explicit FileOpenError(const std::string& path) : Error("Cannot open file " + path) {}
};

// The system refused a form's native window.
class WindowCreationError : public Error {
 public:
  WindowCreationError() : Error("Error creating window") {}
};

// The title of every message box: the executable's file name without its
// path, cut at its first full stop, every letter after the first in lower
// case ("C:\\X\\LESSON1.EXE" and "/x/LESSON1.EXE" give "Lesson1").
std::string ApplicationTitle(std::string_view executablePath);

}  // namespace sp
