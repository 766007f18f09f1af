#include "platform/commandline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using Args = std::vector<std::string>;

#ifdef _WIN32
TEST(SplitCommandLine, GivesUtf8ArgumentsByTheSystemsRules) {
  struct Case {
    const wchar_t* line;
    Args args;
  } cases[] = {
      {L"orvane-convert.exe --output \"C:\\Lög\\wörld.lyr\" 日本.shp",
       {"orvane-convert.exe", "--output", "C:\\Lög\\wörld.lyr", "日本.shp"}},
      // Outside the Basic Multilingual Plane: a surrogate pair in UTF-16.
      {L"x.exe \U0001F30D.geojson", {"x.exe", "\xF0\x9F\x8C\x8D.geojson"}},
      {L"x.exe \"a \\\"b\\\"\" c\\d", {"x.exe", "a \"b\"", "c\\d"}},
      {L"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.args);
  }
}
#endif

TEST(CommandLineArguments, StartWithTheProgram) {
  char program[] = "orvane-render";
  char option[] = "--output=Lög.png";
  char* argv[] = {program, option, nullptr};
  const Args args = CommandLineArguments(2, argv);
#ifdef _WIN32
  // The process's own command line, whatever argv says.
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("tests"), std::string::npos) << args[0];
#else
  EXPECT_EQ(args, (Args{"orvane-render", "--output=Lög.png"}));
#endif
}

}  // namespace
}  // namespace platform
