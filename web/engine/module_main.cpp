// The module has no main program: the page calls the C API
// (selfplay_api.h), whose functions the link exports from the library.
#include "web/engine/selfplay_api.h"

// Keeps the API's object file in the link, whatever the linker's order.
extern "C" void* sp_keep_api[] = {reinterpret_cast<void*>(&sp_open)};

int main() { return 0; }
