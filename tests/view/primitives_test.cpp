#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/view/fixture.h"

namespace globe::testing {
namespace {

TPointLL Deg(double Long, double Lat) {
  return {static_cast<std::int32_t>(Long * D), static_cast<std::int32_t>(Lat * D), 0};
}

/// The primitives draw on the recording device through the canvas.
class PrimitiveTest : public ViewTest {
 protected:
  std::vector<std::vector<TPoint>> Shapes(const char* Name) const {
    std::vector<std::vector<TPoint>> shapes;
    for (const platform::TRecordedCall* c : dev.CallsNamed(Name)) shapes.push_back(c->Points);
    return shapes;
  }
  void Draw() {
    globe.GlobeCanvas().SetDC(&dev);
    dev.Calls.clear();
  }
};

TEST_F(PrimitiveTest, RenderLineCrosses180OnlyBetweenOuterQuarters) {
  FlatMap();
  struct Case {
    double from, to;
    std::size_t pieces;
    std::int32_t firstX, lastX;  // where the drawing starts and ends
  };
  for (const Case& c :
       {Case{170, -170, 2, 350, 10}, Case{-170, 170, 2, 10, 350}, Case{80, -100, 1, 260, 80}}) {
    Draw();
    globe.RenderLine(Deg(c.from, 0), Deg(c.to, 0), 2);
    const auto lines = Shapes("Polyline");
    ASSERT_EQ(lines.size(), c.pieces) << c.from;
    EXPECT_EQ(lines.front().front().X, c.firstX) << c.from;
    EXPECT_EQ(lines.back().back().X, c.lastX) << c.from;
    for (const auto& line : lines)
      for (const TPoint& p : line) EXPECT_EQ(p.Y, 90);
  }
}

TEST_F(PrimitiveTest, RenderLineWithoutStepsDrawsItsEnds) {
  FlatMap();
  Draw();
  globe.RenderLine(Deg(0, 0), Deg(10, 5), 0);
  EXPECT_THAT(Shapes("Polyline"),
              ::testing::ElementsAre(std::vector<TPoint>{{180, 90}, {190, 85}}));

  // Hidden ends draw nothing.
  Sphere(100);
  Draw();
  globe.RenderLine(Deg(170, 0), Deg(175, 10), 4);
  EXPECT_TRUE(Shapes("Polyline").empty());
}

TEST_F(PrimitiveTest, PolygonIsClosedAndFilledPolylineIsOpen) {
  FlatMap();
  const std::vector<TPointLL> square = {Deg(10, 10), Deg(20, 10), Deg(20, 20), Deg(10, 20)};
  Draw();
  globe.RenderPolygon(square);
  globe.RenderPolyLine(square);
  const std::vector<TPoint> expected{{190, 80}, {200, 80}, {200, 70}, {190, 70}};
  ASSERT_EQ(Shapes("Polygon").size(), 1u);
  EXPECT_EQ(Shapes("Polygon")[0], expected);
  ASSERT_EQ(Shapes("Polyline").size(), 1u);
  EXPECT_EQ(Shapes("Polyline")[0], expected);
}

TEST_F(PrimitiveTest, RenderCircleStepLimits) {
  Sphere(100);
  for (const auto& [asked, used] :
       std::vector<std::pair<int, int>>{{2, 36}, {400, 36}, {3, 3}, {360, 360}, {-1, 36}}) {
    Draw();
    globe.RenderCircle(Deg(0, 0), 10 * D, asked);
    const auto lines = Shapes("Polyline");
    ASSERT_EQ(lines.size(), 1u) << asked;
    EXPECT_EQ(lines[0].size(), static_cast<std::size_t>(used + 1)) << asked;
    // Open, but its last point meets its first; the start lies north of the centre.
    EXPECT_NEAR(lines[0].front().X, lines[0].back().X, 1);
    EXPECT_NEAR(lines[0].front().Y, lines[0].back().Y, 1);
    EXPECT_EQ(lines[0].front().X, 200);
    EXPECT_LT(lines[0].front().Y, 150);
  }
}

TEST_F(PrimitiveTest, GreatCircleTakesOneStepPerDegree) {
  FlatMap();
  struct Case {
    TGreatCircle type;
    std::size_t steps;
    std::int32_t firstX, lastX;
  };
  for (const Case& c : {Case{gcShortest, 90, 180, 270}, Case{gcLongest, 270, 270, 180},
                        Case{gcCircle, 360, 180, 180}}) {
    Draw();
    globe.RenderGreatCircleLine(Deg(0, 0), Deg(90, 0), c.type);
    const auto lines = Shapes("Polyline");
    ASSERT_FALSE(lines.empty());
    std::size_t points = 0;
    for (const auto& line : lines) points += line.size();
    // Each cut at the 180° meridian ends one piece and starts another with a point on it.
    EXPECT_EQ(points - 2 * (lines.size() - 1), c.steps + 1) << int(c.type);
    EXPECT_EQ(lines.front().front().X, c.firstX) << int(c.type);
    EXPECT_NEAR(lines.back().back().X, c.lastX, 1) << int(c.type);
  }

  // Less than a degree apart: a straight two-point line.
  Draw();
  globe.RenderGreatCircleLine(Deg(0, 0), Deg(0.5, 0.5), gcShortest);
  const auto lines = Shapes("Polyline");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 2u);
}

TEST_F(PrimitiveTest, GreatCircleToAnAntipodeRunsThroughTheNorthPole) {
  FlatMap();
  struct Case {
    const char* name;
    TPointLL from, to;
    std::size_t points;  // a step for each whole degree of the half circle, and the start
  };
  const Case cases[] = {
      {"exact", Deg(10, 30), Deg(-170, -30), 181},
      {"22 m short", Deg(10, 30), Deg(-170.0002, -30), 180},
      {"pole to pole", Deg(20, 90), Deg(20, -90), 181},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Draw();
    globe.RenderGreatCircleLine(c.from, c.to, gcShortest);
    std::vector<TPoint> points;
    for (const auto& line : Shapes("Polyline"))
      points.insert(points.end(), line.begin(), line.end());
    ASSERT_EQ(points.size(), c.points);
    TPoint start, end;
    P.PointLLToXY(c.from, start);
    P.PointLLToXY(c.to, end);
    EXPECT_NEAR(points.back().Y, end.Y, 1);
    if (std::abs(c.to.iLatY) < GU_90_DEGREE) {
      EXPECT_NEAR(points.back().X, end.X, 1);  // a pole has no longitude of its own
    }
    // Up the start's meridian to the pole, down the opposite one to the end.
    std::int32_t top = 180;
    for (const TPoint& p : points) {
      top = std::min(top, p.Y);
      if (p.Y > 1 && p.Y < 179) {
        EXPECT_TRUE(std::abs(p.X - start.X) <= 1 || std::abs(p.X - end.X) <= 1) << p.X;
      }
    }
    EXPECT_LE(top, 1);
  }
}

TEST_F(PrimitiveTest, TextOutDrawsOnlyVisibleReadableText) {
  Sphere(100);
  platform::TCanvasFont font = globe.GlobeCanvas().Font();
  font.Style.Bold = true;
  globe.GlobeCanvas().SetFont(font);
  Draw();
  globe.RenderTextOut(0, 0, "DL1ABC", TGlobeUnitTypes::Pixel);
  auto texts = dev.CallsNamed("TextOut");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->Text, "DL1ABC");
  EXPECT_EQ(texts[0]->Points[0], (TPoint{200, 150}));
  EXPECT_EQ(texts[0]->BkMode, platform::TRANSPARENT);
  EXPECT_EQ(texts[0]->Font->Font().Weight, 400);  // the canvas font's style is not used

  Draw();
  globe.RenderTextOut(180 * D, 0, "far side", TGlobeUnitTypes::Pixel);
  font.Size = 4;  // below MinTextHeight 5
  globe.GlobeCanvas().SetFont(font);
  globe.RenderTextOut(0, 0, "too small", TGlobeUnitTypes::Pixel);
  EXPECT_TRUE(dev.CallsNamed("TextOut").empty());
}

}  // namespace
}  // namespace globe::testing
