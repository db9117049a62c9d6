#pragma once

#include <cstdio>
#include <memory>

namespace sp {

struct CFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A C runtime file handle that is closed on every way out.
using CFile = std::unique_ptr<std::FILE, CFileCloser>;

}  // namespace sp
