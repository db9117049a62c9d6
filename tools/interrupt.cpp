#include "tools/interrupt.h"

#include <csignal>

namespace sp::tool {
namespace {

volatile std::sig_atomic_t caught = 0;

void Catch(int signal) { caught = signal; }

}  // namespace

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = Catch;
  sigemptyset(&action.sa_mask);
  // Blocking calls go on; the work looks at Interruption() between steps,
  // and a batch's poll() wakes up regardless.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Interruption() { return caught; }

std::string InterruptionName(int signal) { return signal == SIGINT ? "Ctrl-C" : "SIGTERM"; }

void StopIfInterrupted() {
  if (const int signal = caught) throw Interrupted(signal);
}

}  // namespace sp::tool
