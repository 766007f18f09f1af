#include "platform/filesystem.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "platform/win32/utf.h"
#endif

namespace platform {

#ifdef _WIN32

std::filesystem::path FsPath(std::string_view Utf8) {
  return std::filesystem::path(Utf16(Utf8));
}

std::string Utf8Path(const std::filesystem::path& Path) { return Utf8(Path.native()); }

std::string Utf8GenericPath(const std::filesystem::path& Path) {
  return Utf8(Path.generic_wstring());
}

std::FILE* OpenFile(const std::string& Utf8, const char* Mode) {
  return ::_wfopen(Utf16(Utf8).c_str(), Utf16(Mode).c_str());
}

std::string ProgramFolder() {
  // Long paths may exceed MAX_PATH; the buffer grows until the name fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) break;
    if (length < buffer.size()) {
      const std::filesystem::path exe(std::wstring(buffer.data(), length));
      return Utf8Path(exe.parent_path());
    }
    if (buffer.size() >= 32768) break;
    buffer.resize(buffer.size() * 2);
  }
  std::error_code ec;
  return Utf8Path(std::filesystem::current_path(ec));
}

#else

std::filesystem::path FsPath(std::string_view Utf8) { return std::filesystem::path(Utf8); }

std::string Utf8Path(const std::filesystem::path& Path) { return Path.native(); }

std::string Utf8GenericPath(const std::filesystem::path& Path) { return Path.generic_string(); }

std::FILE* OpenFile(const std::string& Utf8, const char* Mode) {
  return std::fopen(Utf8.c_str(), Mode);
}

std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::filesystem::path folder = ec ? std::filesystem::path() : exe.parent_path();
  if (folder.empty()) folder = std::filesystem::current_path(ec);
  return folder.native();
}

#endif

}  // namespace platform
