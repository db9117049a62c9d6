#include "platform/application.h"

#include "platform/errors.h"
#include "platform/form.h"
#include "platform/shell.h"

namespace sp {

Application::Application(System& system) : system_(system) {}

std::string Application::Title() const { return ApplicationTitle(system_.ExecutablePath()); }

std::string Application::ExeName() const { return system_.ExecutablePath(); }

void Application::ShowMessage(const std::string& utf8) const { system_.ShowMessage(Title(), utf8); }

void Application::ShowException(const std::exception& e) const {
  std::string text = e.what();
  // The framework adds the full stop unless the text already ends in one.
  if (!text.empty() && text.back() != '.') text += '.';
  system_.ShowErrorBox(Title(), text);
}

void Application::Run(Form& mainForm) {
  if (terminated_) return;
  system_.RunMessageLoop(mainForm);
}

// Asked again on every call: a modal loop that was running when the first
// request came (a menu, a box, a move of the window) may have swallowed it.
void Application::Terminate() {
  terminated_ = true;
  system_.QuitMessageLoop();
}

}  // namespace sp
