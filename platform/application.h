#pragma once

#include <exception>
#include <string>
#include <utility>

namespace sp {

class Form;
class System;

// The application object: the title, the error box around every handler,
// and the message loop of the main form.
class Application {
 public:
  explicit Application(System& system);

  System& GetSystem() const { return system_; }
  std::string Title() const;
  std::string ExeName() const;

  void ShowMessage(const std::string& utf8) const;
  // The error box: title, stop icon, the error's text with a full stop added.
  void ShowException(const std::exception& e) const;

  // Runs a handler; an error it raises is shown in the error box and the
  // program goes on.
  template <class F>
  void Guard(F&& handler) const {
    try {
      std::forward<F>(handler)();
    } catch (const std::exception& e) {
      ShowException(e);
    }
  }

  void Run(Form& mainForm);
  void Terminate();
  bool Terminated() const { return terminated_; }

 private:
  System& system_;
  bool terminated_ = false;
};

}  // namespace sp
