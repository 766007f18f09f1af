#include "bridge/win32host.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace bridge {

namespace {

// Longest registry string read, in bytes: far beyond any path, well below what would
// strain the bridge.
constexpr DWORD kMaxValueBytes = 64 * 1024;

HWND ToWindow(platform::TWindowLookup::THandle Handle) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(Handle));
}

platform::TWindowLookup::THandle ToHandle(HWND Window) {
  return static_cast<platform::TWindowLookup::THandle>(reinterpret_cast<std::uintptr_t>(Window));
}

}  // namespace

std::wstring Wide(std::string_view Text) {
  if (Text.empty() || Text.size() > INT_MAX) return {};
  const int Size = static_cast<int>(Text.size());
  const int Length = MultiByteToWideChar(CP_UTF8, 0, Text.data(), Size, nullptr, 0);
  if (Length <= 0) return {};
  std::wstring Out(static_cast<std::size_t>(Length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), Size, Out.data(), Length);
  // Win32 takes null-terminated names: what follows a null character is not seen.
  Out.resize(Out.find(L'\0') == std::wstring::npos ? Out.size() : Out.find(L'\0'));
  return Out;
}

std::string Utf8(std::wstring_view Text) {
  if (Text.empty() || Text.size() > INT_MAX / 4) return {};
  const int Size = static_cast<int>(Text.size());
  const int Length =
      WideCharToMultiByte(CP_UTF8, 0, Text.data(), Size, nullptr, 0, nullptr, nullptr);
  if (Length <= 0) return {};
  std::string Out(static_cast<std::size_t>(Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), Size, Out.data(), Length, nullptr, nullptr);
  return Out;
}

// ---- Registry ------------------------------------------------------------------------------

bool TWin32Registry::OpenKey(std::string_view Key, bool CanCreate) {
  CloseKey();
  const std::wstring Name = Wide(Key);
  const LSTATUS Status = CanCreate
                             ? RegCreateKeyExW(HKEY_CURRENT_USER, Name.c_str(), 0, nullptr, 0,
                                               KEY_READ, nullptr, &FKey, nullptr)
                             : RegOpenKeyExW(HKEY_CURRENT_USER, Name.c_str(), 0, KEY_READ, &FKey);
  if (Status != ERROR_SUCCESS) FKey = nullptr;
  return FKey != nullptr;
}

std::optional<std::string> TWin32Registry::ReadString(std::string_view Name) {
  if (!FKey) return std::nullopt;
  const std::wstring Value = Wide(Name);
  DWORD Type = 0;
  DWORD Bytes = 0;
  if (RegQueryValueExW(FKey, Value.c_str(), nullptr, &Type, nullptr, &Bytes) != ERROR_SUCCESS ||
      (Type != REG_SZ && Type != REG_EXPAND_SZ) || Bytes > kMaxValueBytes)
    return std::nullopt;
  // The value may change between the two calls: the second is bounded by the buffer.
  std::wstring Text(Bytes / sizeof(wchar_t) + 1, L'\0');
  Bytes = static_cast<DWORD>(Text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(FKey, Value.c_str(), nullptr, &Type, reinterpret_cast<BYTE*>(Text.data()),
                       &Bytes) != ERROR_SUCCESS ||
      (Type != REG_SZ && Type != REG_EXPAND_SZ))
    return std::nullopt;
  // A stored string need not end in a null, and may hold more than one.
  Text.resize(std::min<std::size_t>(Bytes / sizeof(wchar_t), Text.size()));
  const std::size_t End = Text.find(L'\0');
  if (End != std::wstring::npos) Text.resize(End);
  return Utf8(Text);
}

void TWin32Registry::CloseKey() noexcept {
  if (FKey) RegCloseKey(FKey);
  FKey = nullptr;
}

// ---- Windows -------------------------------------------------------------------------------

platform::TWindowLookup::THandle TWin32Windows::FindTopLevel(std::string_view ClassName) {
  FLate = false;
  const std::wstring Class = Wide(ClassName);
  if (Class.empty()) return 0;
  return ToHandle(FindWindowW(Class.c_str(), nullptr));
}

std::vector<platform::TWindowLookup::THandle> TWin32Windows::Children(THandle Parent,
                                                                      std::string_view ClassName) {
  FLate = false;
  std::vector<THandle> Result;
  const HWND Owner = ToWindow(Parent);
  const std::wstring Class = Wide(ClassName);
  if (Parent == 0 || Class.empty() || !IsWindow(Owner)) return Result;
  // FindWindowExW walks the direct children only, in Z order; bounded like an answer.
  HWND Child = nullptr;
  while (Result.size() < 4096 &&
         (Child = FindWindowExW(Owner, Child, Class.c_str(), nullptr)) != nullptr)
    Result.push_back(ToHandle(Child));
  return Result;
}

std::optional<std::string> TWin32Windows::WindowText(THandle Window, std::size_t BufferSize) {
  FLate = false;
  const HWND Target = ToWindow(Window);
  if (Window == 0 || !IsWindow(Target)) return std::nullopt;
  if (BufferSize == 0) return std::string();
  FText.assign(BufferSize, L'\0');
  DWORD_PTR Copied = 0;
  SetLastError(ERROR_SUCCESS);
  if (!SendMessageTimeoutW(Target, WM_GETTEXT, static_cast<WPARAM>(BufferSize),
                           reinterpret_cast<LPARAM>(FText.data()), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                           static_cast<UINT>(FTimeout.count()), &Copied)) {
    // A window that went meanwhile is gone; one that is there did not answer in time.
    FLate = IsWindow(Target) != FALSE;
    return std::nullopt;
  }
  const std::size_t Length = std::min<std::size_t>(Copied, BufferSize - 1);
  return Utf8(std::wstring_view(FText.data(), Length));
}

// ---- Paths ---------------------------------------------------------------------------------

std::optional<TWinePaths> TWinePaths::Find() {
  const HMODULE Kernel = GetModuleHandleW(L"kernel32.dll");
  if (!Kernel) return std::nullopt;
  const FARPROC Found = GetProcAddress(Kernel, "wine_get_unix_file_name");
  if (!Found) return std::nullopt;
  return TWinePaths(reinterpret_cast<TUnixName>(reinterpret_cast<void*>(Found)));
}

std::optional<std::string> TWinePaths::LocalPath(std::string_view LoggerPath) {
  const std::wstring Path = Wide(LoggerPath);
  if (Path.empty()) return std::nullopt;
  char* Unix = FUnixName(Path.c_str());
  if (!Unix) return std::nullopt;
  std::string Result(Unix);
  HeapFree(GetProcessHeap(), 0, Unix);
  // The logger adds file names to its folder without a separator.
  const wchar_t Last = Path.back();
  if ((Last == L'\\' || Last == L'/') && (Result.empty() || Result.back() != '/')) Result += '/';
  return Result;
}

}  // namespace bridge
