// The program's command line and console as UTF-8 text, like every other text of the
// program. On Windows argv and the console use the ANSI or OEM code page, which cannot
// hold every file name.
#pragma once

#include <string>
#include <vector>

namespace platform {

/// The program's arguments as UTF-8 (the first is the program): on Windows read again from
/// the wide command line, elsewhere argv as given.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

#ifdef _WIN32
/// The arguments of a Windows command line as UTF-8, split by the system's rules.
std::vector<std::string> SplitCommandLine(const std::wstring& CommandLine);
#endif

/// While it lives, the console shows the program's UTF-8 output as UTF-8, and the console's
/// own code page comes back afterwards. Nothing to do where consoles take UTF-8 anyway.
class TUtf8Console {
 public:
  TUtf8Console();
  ~TUtf8Console();
  TUtf8Console(const TUtf8Console&) = delete;
  TUtf8Console& operator=(const TUtf8Console&) = delete;

 private:
  [[maybe_unused]] unsigned FOldCodePage = 0;
};

}  // namespace platform
