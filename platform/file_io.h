#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sp {

// Paths are UTF-8 everywhere; on Windows they reach the system as UTF-16,
// so any character of a file name works.

// Creates or truncates path for binary writing, private to the user: it does
// not follow a symbolic link (or any reparse point), refuses anything but a
// plain file of the user's own, and truncates only after those checks.
// Returns nullptr when refused, like fopen.
std::FILE* OpenPrivateForWriting(const std::string& path);

// fopen(path, "rb").
std::FILE* OpenForReading(const std::string& path);

// An open file of the operating system: a descriptor or a handle.
using NativeFile = intptr_t;
constexpr NativeFile kNoFile = -1;

// Opens an existing file read-only, shared with every other reader and
// writer, and reports its size. kNoFile when it cannot be opened or is not
// a file (a directory).
NativeFile OpenSharedForReading(const std::string& path, int64_t& size);
// Reads up to count bytes at offset; fewer only at the end or on an error.
size_t ReadFileAt(NativeFile file, void* buffer, size_t count, int64_t offset);
void CloseFile(NativeFile file);

// The user's temporary directory as the system reports it, ending with a
// separator.
std::string TempDirectory();

}  // namespace sp
