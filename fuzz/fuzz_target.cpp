// One libFuzzer entry point; each target is this file built with SP_FUZZ_CHECK
// naming its check (tests/hardening/fuzz_checks.h).
#include <cstdio>
#include <cstdlib>

#include "tests/hardening/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = sp::hardening::SP_FUZZ_CHECK(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "finding: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
