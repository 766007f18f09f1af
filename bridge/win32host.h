// The logger's registry key, windows and file names through Win32, as the bridge serves
// them: the sources of the logger-host protocol on the logger's own platform.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loggerhost.h"

namespace bridge {

/// UTF-8 as UTF-16 for the wide Win32 calls; a null character ends what Win32 sees.
[[nodiscard]] std::wstring Wide(std::string_view Utf8);
/// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string Utf8(std::wstring_view Text);

/// Keys under HKEY_CURRENT_USER.
class TWin32Registry final : public platform::TLoggerRegistry {
 public:
  TWin32Registry() = default;
  ~TWin32Registry() override { CloseKey(); }

  bool OpenKey(std::string_view Key, bool CanCreate) override;
  /// REG_SZ and REG_EXPAND_SZ values (unexpanded) up to 64 KiB; nullopt for other types.
  [[nodiscard]] std::optional<std::string> ReadString(std::string_view Name) override;
  void CloseKey() noexcept override;

 private:
  HKEY FKey = nullptr;
};

/// Windows of any process on this desktop. Only WM_GETTEXT sends a message to the
/// logger; it waits at most Timeout and not at all for a window the system holds hung.
class TWin32Windows final : public platform::TWindowLookup {
 public:
  explicit TWin32Windows(std::chrono::milliseconds Timeout) : FTimeout(Timeout) {}

  [[nodiscard]] THandle FindTopLevel(std::string_view ClassName) override;
  /// Direct children only, in the system's child order (top of the Z order first).
  [[nodiscard]] std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override;
  [[nodiscard]] std::optional<std::string> WindowText(THandle Window,
                                                      std::size_t BufferSize) override;
  [[nodiscard]] bool LastCallUnanswered() const noexcept override { return FLate; }

 private:
  std::chrono::milliseconds FTimeout;
  bool FLate = false;
  std::vector<wchar_t> FText;  // the WM_GETTEXT buffer, kept between calls
};

/// Unix paths of Windows paths through Wine's kernel32; absent outside Wine.
class TWinePaths final : public platform::TLoggerPaths {
 public:
  /// The translator of this process, or nullopt when it does not run under Wine.
  [[nodiscard]] static std::optional<TWinePaths> Find();

  /// The Unix path; a trailing separator of LoggerPath is kept. Nullopt when Wine cannot
  /// map the path (a drive that has no Unix folder).
  [[nodiscard]] std::optional<std::string> LocalPath(std::string_view LoggerPath) override;

  TWinePaths(TWinePaths&& Other) noexcept : FUnixName(Other.FUnixName) {}

 private:
  using TUnixName = char*(__cdecl*)(const wchar_t*);
  explicit TWinePaths(TUnixName UnixName) : FUnixName(UnixName) {}
  TUnixName FUnixName;
};

}  // namespace bridge
