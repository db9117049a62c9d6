#pragma once

#include <memory>

namespace sp {

class Application;
class System;
class TPlayForm;

// Creates the form into PlayForm (its design-time description, then
// FormCreate). An error on the way is shown in the error box and gives null.
std::unique_ptr<TPlayForm> CreatePlayForm(Application& app);

// The player's entry point, the same for every back end: the application
// object, the form, the message loop. The exit code is 0.
int RunPlayer(System& system);

}  // namespace sp
