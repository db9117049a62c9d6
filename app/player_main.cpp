#include "app/player_main.h"

#include <exception>

#include "app/play_form.h"
#include "platform/application.h"

namespace sp {

std::unique_ptr<TPlayForm> CreatePlayForm(Application& app) {
  try {
    auto form = std::make_unique<TPlayForm>(app);
    PlayForm = form.get();
    form->Create();
    return form;
  } catch (const std::exception& e) {
    app.ShowException(e);
    return nullptr;
  }
}

int RunPlayer(System& system) {
  Application app(system);
  std::unique_ptr<TPlayForm> form = CreatePlayForm(app);
  if (form) app.Run(*form);
  return 0;
}

}  // namespace sp
