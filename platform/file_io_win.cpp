// Files through the Windows API, with UTF-16 paths.
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/file_io.h"
#include "platform/win32/wide.h"

namespace sp {

namespace {

template <class F>
F Procedure(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The owner check calls ADVAPI32, loaded only when it is needed, so that
// the player's imports stay the DLLs every Windows has loaded anyway.
class OwnerCheck {
 public:
  static const OwnerCheck& Get() {
    static const OwnerCheck check;
    return check;
  }

  // False only when the file's owner is known and is neither this user
  // nor the owner this user's new files get (an administrators' group).
  bool OwnedByUs(HANDLE file) const {
    if (!getSecurityInfo_ || users_.empty()) return true;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (getSecurityInfo_(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                         nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
      return true;
    }
    bool ours = owner == nullptr;
    for (const auto& sid : users_) {
      if (owner && equalSid_(owner, const_cast<BYTE*>(sid.data()))) ours = true;
    }
    LocalFree(descriptor);
    return ours;
  }

 private:
  using GetSecurityInfoFn = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                           PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
  using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
  using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                              PDWORD);
  using EqualSidFn = BOOL(WINAPI*)(PSID, PSID);
  using GetLengthSidFn = DWORD(WINAPI*)(PSID);

  OwnerCheck() {
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    if (!advapi) return;
    auto openProcessToken =
        Procedure<OpenProcessTokenFn>(advapi, "OpenProcessToken");
    auto getTokenInformation =
        Procedure<GetTokenInformationFn>(advapi, "GetTokenInformation");
    auto getLengthSid = Procedure<GetLengthSidFn>(advapi, "GetLengthSid");
    equalSid_ = Procedure<EqualSidFn>(advapi, "EqualSid");
    getSecurityInfo_ =
        Procedure<GetSecurityInfoFn>(advapi, "GetSecurityInfo");
    if (!openProcessToken || !getTokenInformation || !getLengthSid || !equalSid_ ||
        !getSecurityInfo_) {
      getSecurityInfo_ = nullptr;
      return;
    }
    HANDLE token = nullptr;
    if (!openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    for (TOKEN_INFORMATION_CLASS what : {TokenUser, TokenOwner}) {
      DWORD size = 0;
      getTokenInformation(token, what, nullptr, 0, &size);
      std::vector<BYTE> info(size);
      if (size == 0 || !getTokenInformation(token, what, info.data(), size, &size)) continue;
      // TOKEN_USER and TOKEN_OWNER both begin with the SID's pointer.
      PSID sid = what == TokenUser ? reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid
                                   : reinterpret_cast<TOKEN_OWNER*>(info.data())->Owner;
      const BYTE* bytes = static_cast<const BYTE*>(sid);
      users_.emplace_back(bytes, bytes + getLengthSid(sid));
    }
    CloseHandle(token);
  }

  GetSecurityInfoFn getSecurityInfo_ = nullptr;
  EqualSidFn equalSid_ = nullptr;
  std::vector<std::vector<BYTE>> users_;
};

}  // namespace

std::FILE* OpenPrivateForWriting(const std::string& path) {
  // No sharing: nobody else reads or changes the file while it is written.
  // OPEN_ALWAYS does not truncate, and a reparse point (a symbolic link, a
  // junction) is opened itself instead of being followed, so that it can
  // be refused untouched. A new file takes the ACL of the user's own
  // temporary folder.
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE | READ_CONTROL, 0, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool plainFile =
      GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY |
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) &&
      // A second name is a hard link planted onto some other file.
      info.nNumberOfLinks <= 1;
  if (!plainFile || !OwnerCheck::Get().OwnedByUs(file) || !SetEndOfFile(file)) {
    CloseHandle(file);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (!stream) _close(fd);
  return stream;
}

std::FILE* OpenForReading(const std::string& path) { return _wfopen(Wide(path).c_str(), L"rb"); }

NativeFile OpenSharedForReading(const std::string& path, int64_t& size) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  LARGE_INTEGER length{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length)) {
    CloseHandle(file);
    return kNoFile;
  }
  size = length.QuadPart;
  return reinterpret_cast<NativeFile>(file);
}

size_t ReadFileAt(NativeFile file, void* buffer, size_t count, int64_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    const uint64_t position = static_cast<uint64_t>(offset) + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), out + done, chunk, &got, &at) || got == 0) break;
    done += got;
  }
  return done;
}

void CloseFile(NativeFile file) {
  if (file != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

std::string TempDirectory() {
  // However long the path, as the system reports it (with its separator).
  std::wstring buffer(MAX_PATH + 1, L'\0');
  DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n > buffer.size()) {
    buffer.assign(n, L'\0');
    n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (n == 0 || n > buffer.size()) return ".\\";
  std::string path = Narrow(std::wstring_view(buffer.data(), n));
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

}  // namespace sp
