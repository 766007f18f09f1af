// The record of where titles stand: what counts as overlapping, and rectangles reaching
// off the picture.
#include "globe/render/labels.h"

#include <gtest/gtest.h>

namespace globe {
namespace {

using platform::TRect;

TEST(TitleGrid, PlacesOnlyWhatOverlapsNothingPlacedBefore) {
  TTitleGrid Grid;
  Grid.Reset(100, 60);
  EXPECT_TRUE(Grid.Empty());
  ASSERT_TRUE(Grid.TryPlace({10, 10, 40, 22}));
  const struct {
    const char* Name;
    TRect Rect;
    bool Placed;
  } Cases[] = {
      {"the same place", {10, 10, 40, 22}, false},
      {"a pixel into it", {39, 21, 60, 30}, false},
      {"beside it, past its cell", {44, 10, 60, 22}, true},
      {"below it, past its cell", {10, 24, 40, 30}, true},
      {"reaching off the left and top", {-50, -50, 12, 12}, false},
      {"wholly off the picture", {200, 200, 260, 210}, true},
      {"off again: takes nothing", {200, 200, 260, 210}, true},
      {"empty", {70, 40, 70, 50}, true},
      {"over the right and bottom edges", {90, 50, 500, 500}, true},
      {"into that one", {95, 55, 96, 56}, false},
  };
  for (const auto& c : Cases) EXPECT_EQ(Grid.TryPlace(c.Rect), c.Placed) << c.Name;

  Grid.Reset(100, 60);  // a new pass: everything is free again
  EXPECT_TRUE(Grid.Empty());
  EXPECT_TRUE(Grid.TryPlace({10, 10, 40, 22}));
  Grid.Reset(-5, -5);  // no picture: nothing can overlap
  EXPECT_TRUE(Grid.TryPlace({0, 0, 10, 10}));
  EXPECT_TRUE(Grid.TryPlace({0, 0, 10, 10}));
}

TEST(TitleGrid, RimColourContrastsWithTheInk) {
  using platform::RGB;
  EXPECT_EQ(ContrastingColor(RGB(0, 0, 0)), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(ContrastingColor(RGB(0xFF, 0xFF, 0xFF)), RGB(0, 0, 0));
  EXPECT_EQ(ContrastingColor(RGB(0xFF, 0xFF, 0x00)), RGB(0, 0, 0));  // yellow is light
  EXPECT_EQ(ContrastingColor(RGB(0x00, 0x00, 0xFF)), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(ContrastingColor(RGB(0xC0, 0x00, 0x00)), RGB(0xFF, 0xFF, 0xFF));
}

}  // namespace
}  // namespace globe
