// The self-playing recording's player for Windows: the engine on the Win32
// back end.
#include "app/player_main.h"
#include "platform/win32/win32_system.h"

int main() {
  sp::Win32System system;
  return sp::RunPlayer(system);
}
