#include "tools/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane::cli {
namespace {

TEST(TArguments, HoldsTheUtf8ArgumentsAsArgcAndArgv) {
  char program[] = "orvane-convert";
  char option[] = "--output=Lög/wörld.lyr";
  char* argv[] = {program, option, nullptr};
  const std::vector<std::string> expected = platform::CommandLineArguments(2, argv);
  TArguments args(2, argv);
  ASSERT_EQ(args.Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < args.Count(); ++i) EXPECT_EQ(args.Values()[i], expected[i]);
  EXPECT_EQ(args.Values()[args.Count()], nullptr);
}

}  // namespace
}  // namespace orvane::cli
