// Path figures against PROJ's geod, the logger's azimuth text, the beam's geometry and the
// station label.
#include "app/operatormap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "globe/core/units.h"
#include "tests/app/csvfixture.h"

namespace orvane {
namespace {

double Deg(std::int32_t Gu) { return static_cast<double>(Gu) / globe::GU_DEGREE; }

TEST(PathFigures, DistanceAndBearingAgreeWithGeodOnTheGlobesSphere) {
  const auto Rows = CsvFixture("geod/paths.csv");
  ASSERT_GE(Rows.size(), 10u);
  for (const QStringList& R : Rows) {
    SCOPED_TRACE(R.join(u' ').toStdString());
    const TPathFigures P =
        ShortPath(R[0].toDouble(), R[1].toDouble(), R[2].toDouble(), R[3].toDouble());
    const double Km = R[5].toDouble();
    EXPECT_NEAR(P.DistanceKm, Km, Km * 1e-5);
    double Expected = std::fmod(R[4].toDouble() + 360, 360);
    // Across a pole every bearing along the meridian is the same great circle.
    double Diff = std::abs(P.BearingDeg - Expected);
    Diff = std::min(Diff, 360 - Diff);
    EXPECT_LT(Diff, 1e-6);
    EXPECT_GE(P.BearingDeg, 0);
    EXPECT_LT(P.BearingDeg, 360);
  }
  const TPathFigures Same = ShortPath(48.21, 16.37, 48.21, 16.37);
  EXPECT_EQ(Same.DistanceKm, 0);
  EXPECT_EQ(Same.BearingDeg, 0);
}

TEST(PathFigures, DestinationRetracesTheBearing) {
  // Out along a path's bearing by its distance: back at the far end.
  for (const QStringList& R : CsvFixture("geod/paths.csv")) {
    const double Km = R[5].toDouble();
    if (Km > 19'000 || Km < 10) continue;  // nearly antipodal: the bearing is ill-conditioned
    SCOPED_TRACE(R.join(u' ').toStdString());
    const TLatLong To = Destination(R[0].toDouble(), R[1].toDouble(), R[4].toDouble(), Km);
    EXPECT_NEAR(To.Lat, R[2].toDouble(), 1e-6);
    double dl = std::remainder(To.Long - R[3].toDouble(), 360.0);
    if (std::abs(R[2].toDouble()) > 89.89) dl = 0;  // at a pole any longitude is right
    EXPECT_NEAR(dl, 0, 1e-6);
  }
}

TEST(PathFigures, BeamHeadingFromTheLoggersText) {
  struct Case {
    const char* Text;
    std::optional<double> Heading;
  };
  const Case Cases[] = {{"43/223", 43},
                        {" 43 /223", 43},
                        {"43", 43},
                        {"0/180", 0},
                        {"360/180", 0},
                        {"-10/170", 350},
                        {"12.5/192", 12.5},
                        {"", std::nullopt},
                        {"/223", std::nullopt},
                        {"abc/12", std::nullopt},
                        {"4x/12", std::nullopt},
                        {"inf/0", std::nullopt},
                        {"nan", std::nullopt},
                        {"1,5/2", std::nullopt}};
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(BeamHeading(QString::fromLatin1(c.Text)), c.Heading);
  }
}

TEST(PathFigures, RayAndWedgeRunAlongTheHeading) {
  // From Vienna at 43°: every point of the ray lies on the great circle of that bearing, and
  // the last one 20,000 km out.
  const auto Ray = BeamRay(48.21, 16.37, 43);
  ASSERT_GT(Ray.size(), 150u);
  EXPECT_EQ(Ray.front(), globe::DegToPointLL(16.37, 48.21));
  for (std::size_t i = 1; i + 1 < Ray.size(); i += 17) {
    const TPathFigures P = ShortPath(48.21, 16.37, Deg(Ray[i].iLatY), Deg(Ray[i].iLongX));
    EXPECT_NEAR(P.BearingDeg, 43, 1e-3) << i;
  }
  const TPathFigures End = ShortPath(48.21, 16.37, Deg(Ray.back().iLatY), Deg(Ray.back().iLongX));
  EXPECT_NEAR(End.DistanceKm, 20'000, 1);

  // The wedge: home, out along 28°, back along 58°.
  const auto Wedge = BeamWedge(48.21, 16.37, 43, 30);
  ASSERT_EQ(Wedge.size(), 2 * Ray.size() - 1);
  EXPECT_EQ(Wedge.front(), Ray.front());
  EXPECT_NEAR(ShortPath(48.21, 16.37, Deg(Wedge[20].iLatY), Deg(Wedge[20].iLongX)).BearingDeg, 28,
              1e-3);
  EXPECT_NEAR(
      ShortPath(48.21, 16.37, Deg(Wedge.end()[-20].iLatY), Deg(Wedge.end()[-20].iLongX)).BearingDeg,
      58, 1e-3);
  EXPECT_TRUE(BeamWedge(48.21, 16.37, 43, 0).empty());
  EXPECT_TRUE(BeamWedge(48.21, 16.37, 43, -5).empty());
}

TEST(PathFigures, DashedArcCoversTheWayInBoundedPieces) {
  // 10,000 km in dashes of 300 km with gaps of 200 km: 20 dashes, the last one whole.
  const auto Dashes = DashedArc(0, 0, 90, 10'000, 300, 200);
  ASSERT_EQ(Dashes.size(), 20u);
  for (const auto& Dash : Dashes) {
    ASSERT_GE(Dash.size(), 2u);
    const TPathFigures From = ShortPath(0, 0, Deg(Dash.front().iLatY), Deg(Dash.front().iLongX));
    const TPathFigures To = ShortPath(0, 0, Deg(Dash.back().iLatY), Deg(Dash.back().iLongX));
    EXPECT_NEAR(To.DistanceKm - From.DistanceKm, 300, 0.1);
    EXPECT_NEAR(std::remainder(From.DistanceKm, 500), 0, 0.1);
  }
  // Dashes far too short for the way: no more than the cap, still covering all of it.
  const auto Many = DashedArc(0, 0, 90, 30'000, 0.001, 0.001);
  EXPECT_EQ(Many.size(), static_cast<std::size_t>(kMaxDashes));
  const TPathFigures Last =
      ShortPath(0, 0, Deg(Many.back().front().iLatY), Deg(Many.back().front().iLongX));
  EXPECT_NEAR(Last.DistanceKm, 2 * std::numbers::pi * EarthRadiusKm() - 30'000 + 30, 1);
  for (const double Bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
    EXPECT_TRUE(DashedArc(0, 0, 90, Bad, 1, 1).empty());
    EXPECT_TRUE(DashedArc(0, 0, 90, 100, Bad, 1).empty());
    EXPECT_TRUE(DashedArc(0, 0, 90, 100, 1, Bad).empty());
  }
}

TEST(PathFigures, StationLabel) {
  const QLocale En(QLocale::English, QLocale::UnitedStates);
  const QLocale De(QLocale::German, QLocale::Germany);
  EXPECT_EQ(StationLabel("JA1RL", {9121.53, 43.25}, false, En),
            QStringLiteral("JA1RL  9,122 km  43°"));
  EXPECT_EQ(StationLabel("JA1RL", {9121.53, 43.25}, true, En),
            QStringLiteral("JA1RL  5,668 mi  43°"));
  EXPECT_EQ(StationLabel("JA1RL", {9121.53, 43.25}, false, De),
            QStringLiteral("JA1RL  9.122 km  43°"));
  EXPECT_EQ(StationLabel("W1AW", {12.4, 359.6}, false, En), QStringLiteral("W1AW  12 km  0°"));
}

}  // namespace
}  // namespace orvane
