#pragma once

#include <cstdio>
#include <string>

namespace sp {

// Creates or truncates path for binary writing, private to the user: it does
// not follow a symbolic link, and refuses a file that another user owns.
// Returns nullptr when refused, like fopen.
std::FILE* OpenPrivateForWriting(const std::string& path);

}  // namespace sp
