// The self-playing recording's player: the engine on the desktop back end.
#include "app/player_main.h"
#include "platform/qt/qt_system.h"

int main() {
  sp::QtSystem system;
  return sp::RunPlayer(system);
}
