#include "platform/commandline.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/utf.h"
#endif

namespace platform {

#ifdef _WIN32

std::vector<std::string> SplitCommandLine(const std::wstring& CommandLine) {
  std::vector<std::string> args;
  // An empty line would give the program's own path instead of no arguments.
  if (CommandLine.empty()) return args;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(CommandLine.c_str(), &count);
  if (wide == nullptr) return args;
  args.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args = SplitCommandLine(::GetCommandLineW());
  if (args.empty()) args.assign(argv, argv + argc);
  return args;
}

TUtf8Console::TUtf8Console() : FOldCodePage(::GetConsoleOutputCP()) {
  if (FOldCodePage != 0) ::SetConsoleOutputCP(CP_UTF8);
}

TUtf8Console::~TUtf8Console() {
  if (FOldCodePage != 0) ::SetConsoleOutputCP(FOldCodePage);
}

#else

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

TUtf8Console::TUtf8Console() = default;
TUtf8Console::~TUtf8Console() = default;

#endif

}  // namespace platform
