#include "platform/filesystem.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <climits>
#include <vector>
#endif

namespace platform {

#ifdef _WIN32

std::wstring Utf8ToUtf16(std::string_view Utf8) {
  if (Utf8.empty() || Utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int size = static_cast<int>(Utf8.size());
  const int count = ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), size, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), size, wide.data(), count);
  return wide;
}

std::string Utf16ToUtf8(std::wstring_view Utf16) {
  if (Utf16.empty() || Utf16.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int size = static_cast<int>(Utf16.size());
  const int count =
      ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string text(static_cast<std::size_t>(count), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), size, text.data(), count, nullptr, nullptr);
  return text;
}

std::filesystem::path FsPath(std::string_view Utf8) {
  return std::filesystem::path(Utf8ToUtf16(Utf8));
}

std::string Utf8Path(const std::filesystem::path& Path) { return Utf16ToUtf8(Path.native()); }

std::string Utf8GenericPath(const std::filesystem::path& Path) {
  return Utf16ToUtf8(Path.generic_wstring());
}

std::FILE* OpenFile(const std::string& Utf8, const char* Mode) {
  return ::_wfopen(Utf8ToUtf16(Utf8).c_str(), Utf8ToUtf16(Mode).c_str());
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
