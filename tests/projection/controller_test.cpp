// The projection controller: defaults, setters with their equality and limit rules, zoom,
// model switching, copies, environment and the device conversions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "globe/core/numeric.h"
#include "globe/formats/xml.h"
#include "tests/projection/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// A registered class of another kind, for the descent check.
class TNotAModel : public TGlobeRoot {
  GLOBE_CLASS(TNotAModel, TGlobeRoot)
 public:
  using TCreatable = TNotAModel;
  using TConstructor = std::unique_ptr<TNotAModel> (*)();
};

constexpr Extended kSphereSpan = 618'794'460;

// ---- Creation ---------------------------------------------------------------------------

TEST(ProjectionCreate, NilParentThrows) {
  EXPECT_THAT([] { TGlobeProjection p(nullptr); },
              ThrowsMessage<EGlobeException>("TGlobeProjection.Create passed nil parent"));
}

TEST_F(ProjectionTest, DefaultsFitTheSphereIntoTheCanvas) {
  EXPECT_EQ(P.ProjectionClass(), "TSphericalPrj");
  EXPECT_EQ(P.XRotation(), 23.5L);
  EXPECT_EQ(P.YRotation(), 0);
  EXPECT_EQ(P.ZRotation(), 0);
  EXPECT_EQ(P.MinLongitude(), -180);
  EXPECT_EQ(P.MaxLongitude(), 180);
  EXPECT_EQ(P.MinLatitude(), -90);
  EXPECT_EQ(P.MaxLatitude(), 90);
  EXPECT_EQ(P.MinZoom(), 0);
  EXPECT_EQ(P.MaxZoom(), 0);
  EXPECT_EQ(P.XAxisChanges(), xaYOrigin);
  EXPECT_EQ(P.YAxisChanges(), yaCentralMeridian);
  EXPECT_EQ(P.Spheroid(), TSpheroid::WGS84);
  EXPECT_EQ(P.Flags(), (TProjectionFlags{pfContinuous, pfTextureMap}));
  EXPECT_EQ(P.GraticuleLongSteps(), 36);
  EXPECT_EQ(P.GraticuleLatSteps(), 72);
  EXPECT_FALSE(P.UseMinMaxLimits());
  EXPECT_EQ(P.ScaleFactor(), 150 / kSphereSpan);  // the 150 × 150 canvas of a new globe
  EXPECT_EQ(P.CenterXY(), (TPoint{75, 75}));
  // A new view projects at once: the canvas centre shows the tilt of 23.5° north.
  EXPECT_NEAR(P.CenterLatitude(), 23.5, 1e-6);
  EXPECT_NEAR(P.CenterLongitude(), 0, 1e-6);
  TPoint xy;
  EXPECT_TRUE(P.LLToDeviceXY(0, 0, xy));
  EXPECT_EQ(xy.X, 75);
  EXPECT_GT(xy.Y, 75);
}

// ---- Indexed setters --------------------------------------------------------------------

TEST_F(ProjectionTest, FloatSettersApplyTheirIndexRule) {
  struct Case {
    TProjectionProperty Index;
    Extended Value, Stored;
    Extended (TGlobeProjection::*Read)() const noexcept;
  };
  const Case cases[] = {
      {ppYRotation, 190, -170, &TGlobeProjection::YRotation},
      {ppYRotation, -190, 170, &TGlobeProjection::YRotation},
      {ppMaxLatitude, 100, 90, &TGlobeProjection::MaxLatitude},
      {ppMinLatitude, -100, -90, &TGlobeProjection::MinLatitude},
      {ppMaxLongitude, 200, 180, &TGlobeProjection::MaxLongitude},
      {ppMinLongitude, -200, -180, &TGlobeProjection::MinLongitude},
      {ppMaxZoom, 5, 3, &TGlobeProjection::MaxZoom},
      {ppMinZoom, 1e-9L, 3e-8L, &TGlobeProjection::MinZoom},
      {ppCentralMeridian, 12.5, 12.5, &TGlobeProjection::CentralMeridian},
      {ppCentralParallel, -7, -7, &TGlobeProjection::CentralParallel},
      {ppFirstParallel, 30, 30, &TGlobeProjection::FirstParallel},
      {ppSecondParallel, 60, 60, &TGlobeProjection::SecondParallel},
  };
  for (const Case& c : cases) {
    globe.Calls.clear();
    P.SetFloatProperty(c.Index, c.Value);
    EXPECT_EQ((P.*c.Read)(), c.Stored) << "index " << int(c.Index);
    EXPECT_THAT(globe.Calls, ElementsAre("UpdateScrollBars", "RedrawLayers"));
  }
}

TEST_F(ProjectionTest, SettersCompareExactlyBeforeClamping) {
  P.SetMaxLatitude(90);  // the stored value: nothing happens
  P.SetMinZoom(0);       // the default, so not raised to 3e-8
  P.SetXOrigin(P.XOrigin());
  EXPECT_TRUE(globe.Calls.empty());

  EXPECT_EQ(P.MinZoom(), 0);

  P.SetMaxLatitude(100);  // differs from 90 before clamping: stored as 90 and redrawn
  EXPECT_EQ(P.MaxLatitude(), 90);
  EXPECT_EQ(globe.CountOf("RedrawLayers"), 1);
  P.SetMinZoom(1e-6L);
  P.SetMinZoom(0);
  EXPECT_EQ(P.MinZoom(), 3e-8L);

  globe.Calls.clear();
  P.SetXOrigin(10);  // integer setter: redraw only
  EXPECT_EQ(P.XOrigin(), 10);
  EXPECT_THAT(globe.Calls, ElementsAre("RedrawLayers"));
}

TEST_F(ProjectionTest, NaNIsIgnoredInsteadOfLoopingThroughTheSphere) {
  P.SetZRotation(std::nan(""));
  P.SetXRotation(std::nan(""));
  EXPECT_EQ(P.ZRotation(), 0);
  EXPECT_EQ(P.XRotation(), 23.5L);
  EXPECT_TRUE(globe.Calls.empty());
}

TEST_F(ProjectionTest, AxisChangeSettersNotifyWithoutRedraw) {
  P.SetXAxisChanges(xaCentralParallel);
  P.SetYAxisChanges(yaNoAction);
  EXPECT_EQ(P.XAxisChanges(), xaCentralParallel);
  EXPECT_EQ(P.YAxisChanges(), yaNoAction);
  EXPECT_TRUE(globe.Calls.empty());
}

// ---- Zoom -------------------------------------------------------------------------------

TEST_F(ProjectionTest, AltitudeZeroFitsTheEarth) {
  SizeCanvas(400, 300);
  P.SetCenterXY({10, 20});
  globe.Calls.clear();
  P.SetAltitude(0);
  const Extended s = 300 / kSphereSpan;
  EXPECT_EQ(P.ScaleFactor(), s);
  EXPECT_EQ(P.CenterXY(), (TPoint{200, 150}));
  EXPECT_EQ(P.Altitude(), std::lround(1 / (TAN_50_DEGREES * s)));
  EXPECT_EQ(globe.ViewRect(), (TRect{0, 0, static_cast<std::int32_t>(std::lround(400 / s)),
                                     static_cast<std::int32_t>(std::lround(300 / s))}));
  EXPECT_EQ(globe.CountOf("OnZoomed"), 1);
  EXPECT_EQ(globe.Calls.back(), "UpdateScrollBars");
}

TEST_F(ProjectionTest, ScaleLimits) {
  SizeCanvas(400, 300);
  P.SetScaleFactor(5.0);
  EXPECT_EQ(P.ScaleFactor(), 3.0L);

  P.SetMinZoom(1e-6L);
  P.SetMaxZoom(1e-5L);
  P.SetScaleFactor(1e-4L);
  EXPECT_EQ(P.ScaleFactor(), 1e-5L);
  P.SetScaleFactor(0);  // clamped to the minimum first, so no fit (which would be 4.8e-7)
  EXPECT_EQ(P.ScaleFactor(), 1e-6L);

  globe.Calls.clear();
  P.SetScaleFactor(-1);
  P.SetScaleFactor(1e-6L + 1e-11L);  // within 1e-10 of the current scale
  EXPECT_EQ(P.ScaleFactor(), 1e-6L);
  EXPECT_TRUE(globe.Calls.empty());
}

TEST_F(ProjectionTest, ScaleKeepsDeviceCoordinatesWithin32Bits) {
  SizeCanvas(1000, 800);
  P.SetScaleFactor(1e-9L);
  EXPECT_EQ(P.ScaleFactor(), 1000 / 2147483647.0L);
}

TEST_F(ProjectionTest, ZoomKeepsThePointUnderTheCanvasCentre) {
  SizeCanvas(400, 300);
  const Extended s = 1e-6L;
  P.SetScaleFactor(s);
  P.SetCenterXY({300, 150});
  globe.Calls.clear();
  P.SetScaleFactor(2 * s);
  EXPECT_EQ(P.CenterXY(), (TPoint{400, 150}));
  EXPECT_EQ(P.ScaleFactor(), 2 * s);
  EXPECT_EQ(globe.CountOf("OnZoomed"), 1);

  globe.SetLoading(true);  // quiet while the globe is being restored
  P.SetScaleFactor(s);
  EXPECT_EQ(globe.CountOf("OnZoomed"), 1);
}

TEST_F(ProjectionTest, ZoomThatWouldOverflowTheOriginChangesNothing) {
  SizeCanvas(400, 300);
  P.SetScaleFactor(1e-6L);
  P.SetXOrigin(2'000'000'000);
  globe.Calls.clear();
  P.SetScaleFactor(3e-6L);  // the kept centre would put the origin at 6e9
  EXPECT_EQ(P.ScaleFactor(), 1e-6L);
  EXPECT_EQ(P.XOrigin(), 2'000'000'000);
  EXPECT_THAT(globe.Calls, ElementsAre("UpdateScrollBars"));
}

TEST_F(ProjectionTest, AltitudeAndUnitsPerInchAreOtherFormsOfTheScale) {
  P.SetAltitude(1'000'000);
  EXPECT_EQ(P.ScaleFactor(), 1 / (TAN_50_DEGREES * 1'000'000));
  EXPECT_EQ(P.Altitude(), 1'000'000);
  P.SetAltitude(-5);  // a negative scale: ignored
  EXPECT_EQ(P.Altitude(), 1'000'000);

  const TGlobeCanvas& canvas = globe.GlobeCanvas();
  P.SetUnitsPerInch(canvas.ScreenPixelsPerInch() * 1'000'000);
  EXPECT_EQ(P.ScaleFactor(), 1e-6L);
  EXPECT_EQ(P.UnitsPerInch(), canvas.CanvasPixelsPerInch() * 1'000'000);
  P.SetUnitsPerInch(0);
  EXPECT_EQ(P.ScaleFactor(), 1e-6L);

  SizeCanvas(1, 1);
  P.SetScaleFactor(1e-9L);  // pixels per inch / 1e-9 passes 32 bits
  EXPECT_EQ(P.UnitsPerInch(), 2147483647);
}

// ---- Models -----------------------------------------------------------------------------

TEST_F(ProjectionTest, ProjectionClassByName) {
  TCustomProjectionModel* sphere = &P.ProjectionModel();
  P.SetProjectionClass("tsphericalprj");  // the current class: nothing
  EXPECT_EQ(&P.ProjectionModel(), sphere);
  EXPECT_TRUE(globe.Calls.empty());

  EXPECT_THAT([&] { P.SetProjectionClass("TNoSuchPrj"); },
              ThrowsMessage<EGlobeException>("Class TNoSuchPrj not found"));
  RegisterGlobeClass<TNotAModel>();
  EXPECT_THAT(
      [&] { P.SetProjectionClass("TNotAModel"); },
      ThrowsMessage<EGlobeException>("Class TNotAModel does not inherit from TProjectionModel"));
  EXPECT_EQ(&P.ProjectionModel(), sphere);

  P.SetProjectionClass("TMercatorPrj");
  EXPECT_EQ(P.ProjectionClass(), "TMercatorPrj");
  EXPECT_EQ(P.Flags(), TProjectionFlags{pfTextureMap});
  EXPECT_EQ(P.GraticuleLongSteps(), 72);
  EXPECT_EQ(P.GraticuleLatSteps(), 144);
}

TEST_F(ProjectionTest, SwitchingModelsRecentresOnTheOldCentre) {
  SizeCanvas(400, 300);
  P.SetCenterXY({200, 150});
  P.SetXRotation(40);
  P.SetYRotation(-60);
  globe.Calls.clear();
  P.SetProjectionClass("TCartesianPrj");
  EXPECT_THAT(globe.Calls, ::testing::IsSupersetOf({"SetViewRect", "LocateToLL"}));
  EXPECT_EQ(globe.Calls.back(), "RedrawLayers");
  EXPECT_NEAR(globe.LastLocate.iLatY, 40 * D, D / 100);
  EXPECT_NEAR(globe.LastLocate.iLongX, -60 * D, D / 100);
  EXPECT_EQ(P.CenterXY(), (TPoint{200, 150}));

  // The same class again re-centres nothing; a null model is the sphere.
  globe.Calls.clear();
  P.SetProjectionModel(std::make_unique<TCartesianPrj>(&P));
  EXPECT_EQ(globe.CountOf("LocateToLL"), 0);
  P.SetProjectionModel(nullptr);
  EXPECT_EQ(P.ProjectionClass(), "TSphericalPrj");
}

TEST_F(ProjectionTest, MinMaxLimitsNeedThePlateCarree) {
  P.SetCentralMeridian(30);
  P.SetUseMinMaxLimits(true);
  EXPECT_EQ(P.ProjectionClass(), "TCartesianPrj");
  EXPECT_EQ(P.YAxisChanges(), yaXOrigin);
  EXPECT_EQ(P.XAxisChanges(), xaYOrigin);
  EXPECT_EQ(P.CentralMeridian(), 0);
  EXPECT_EQ(P.CentralParallel(), 0);

  P.SetProjectionClass("TCARTESIANPRJ");
  EXPECT_TRUE(P.UseMinMaxLimits());
  P.SetProjectionClass("TMercatorPrj");
  EXPECT_FALSE(P.UseMinMaxLimits());
}

// ---- Copies -----------------------------------------------------------------------------

TEST_F(ProjectionTest, CloneCopiesTheViewAndAModelOfTheSameClass) {
  P.SetXRotation(-20);
  P.SetYRotation(100);
  P.SetScaleFactor(2e-6L);
  P.SetCenterXY({33, 44});
  P.SetMaxZoom(1e-4L);
  P.SetFirstParallel(12);
  P.SetSpheroid(TSpheroid::Clarke1866);
  P.SetRenderBackFace(true);
  auto copy = P.Clone();
  EXPECT_EQ(&copy->Globe(), &globe);
  EXPECT_NE(&copy->ProjectionModel(), &P.ProjectionModel());
  EXPECT_EQ(copy->ProjectionClass(), "TSphericalPrj");
  EXPECT_EQ(copy->XRotation(), -20);
  EXPECT_EQ(copy->YRotation(), 100);
  EXPECT_EQ(copy->ScaleFactor(), 2e-6L);
  EXPECT_EQ(copy->Altitude(), P.Altitude());
  EXPECT_EQ(copy->CenterXY(), (TPoint{33, 44}));
  EXPECT_EQ(copy->MaxZoom(), 1e-4L);
  EXPECT_EQ(copy->FirstParallel(), 12);
  EXPECT_EQ(copy->Spheroid(), TSpheroid::Clarke1866);
  EXPECT_TRUE(copy->RenderBackFace());
  // The sphere's matrices come along: both project alike without any notification.
  for (const TPointLL pt : {TPointLL{10 * D, 20 * D}, TPointLL{170 * D, -30 * D}}) {
    TPoint a, b;
    EXPECT_EQ(P.PointLLToXY(pt, a), copy->PointLLToXY(pt, b));
    EXPECT_EQ(a, b);
  }

  copy->Assign(*copy);  // self-assignment keeps a working model
  EXPECT_EQ(copy->ProjectionClass(), "TSphericalPrj");

  P.SetUseMinMaxLimits(true);
  EXPECT_FALSE(P.Clone()->UseMinMaxLimits());
}

// ---- Environment ------------------------------------------------------------------------

std::vector<std::string> AttributeNames(const TGXML_Element& el) {
  std::vector<std::string> names;
  for (int i = 0; !el.GetAttributeNames(i).empty(); ++i) names.push_back(el.GetAttributeNames(i));
  return names;
}

TEST_F(ProjectionTest, EnvironmentElementLayout) {
  auto el = P.SaveEnvironment();
  EXPECT_THAT(
      AttributeNames(*el),
      ElementsAreArray({"ScaleFactor", "CentralMeridian", "CentralParallel", "FirstParallel",
                        "SecondParallel", "MaxLatitude", "MaxLongitude", "MaxZoom", "MinLatitude",
                        "MinLongitude", "MinZoom", "Spheroid", "XRotation", "YRotation",
                        "ZRotation", "XOrigin", "YOrigin", "XAxisChanges", "YAxisChanges"}));
  EXPECT_EQ(el->AttributeByName("Spheroid", ""), "16");
  EXPECT_EQ(el->AttributeByName("XRotation", ""), "23.5");
  EXPECT_EQ(el->AttributeByName("YAxisChanges", ""), "1");
  const TGXML_Element* model = el->ElementByName("ProjectionModel");
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->AttributeByName("Class", ""), "TSphericalPrj");
}

TEST_F(ProjectionTest, EnvironmentRoundTrip) {
  SizeCanvas(400, 300);
  P.SetProjectionClass("TMercatorPrj");
  P.SetYAxisChanges(yaNoAction);
  P.SetXAxisChanges(xaNoAction);
  P.SetScaleFactor(1.5e-6L);
  P.SetXRotation(12.25L);
  P.SetYRotation(-33.5L);
  P.SetZRotation(5);
  P.SetCenterXY({123, -45});
  P.SetCentralMeridian(20);
  P.SetCentralParallel(-3);
  P.SetFirstParallel(10);
  P.SetSecondParallel(50);
  P.SetMaxLatitude(80);
  P.SetMinLongitude(-170);
  P.SetSpheroid(TSpheroid::Airy1830);
  const auto el = P.SaveEnvironment();

  TTestGlobe other;
  other.GlobeCanvas().SetCanvasWidth(400);
  other.GlobeCanvas().SetCanvasHeight(300);
  TGlobeProjection& Q = other.Projection();
  Q.LoadEnvironment(el.get());
  EXPECT_EQ(Q.ProjectionClass(), "TMercatorPrj");
  EXPECT_EQ(Q.YAxisChanges(), yaNoAction);
  EXPECT_EQ(Q.XAxisChanges(), xaNoAction);
  EXPECT_EQ(Q.ScaleFactor(), 1.5e-6L);
  EXPECT_EQ(Q.XRotation(), 12.25L);
  EXPECT_EQ(Q.YRotation(), -33.5L);
  EXPECT_EQ(Q.ZRotation(), 5);
  EXPECT_EQ(Q.CenterXY(), (TPoint{123, -45}));
  EXPECT_EQ(Q.CentralMeridian(), 20);
  EXPECT_EQ(Q.CentralParallel(), -3);
  EXPECT_EQ(Q.FirstParallel(), 10);
  EXPECT_EQ(Q.SecondParallel(), 50);
  EXPECT_EQ(Q.MaxLatitude(), 80);
  EXPECT_EQ(Q.MinLongitude(), -170);
  EXPECT_EQ(Q.Spheroid(), TSpheroid::Airy1830);

  Q.LoadEnvironment(nullptr);  // nothing
  EXPECT_EQ(Q.ProjectionClass(), "TMercatorPrj");
}

TEST_F(ProjectionTest, EnvironmentLoadOrder) {
  SizeCanvas(400, 300);
  P.SetProjectionClass("TCartesianPrj");
  TGXML_Document doc;
  // No model child: the current model stays. The scale comes before the zoom limits, so
  // it is not clamped by them; the origin comes after the rotations, which on the flat map
  // would move it.
  doc.SetAsString(
      "<Projection ScaleFactor=\"1e-4\" MinZoom=\"1e-6\" MaxZoom=\"1e-5\" XRotation=\"10\" "
      "YOrigin=\"123\" Spheroid=\"99\" XAxisChanges=\"7\" />");
  P.LoadEnvironment(doc.Document()->ElementByName("Projection"));
  EXPECT_EQ(P.ProjectionClass(), "TCartesianPrj");
  EXPECT_EQ(P.ScaleFactor(), 1e-4L);
  EXPECT_EQ(P.MaxZoom(), 1e-5L);
  EXPECT_EQ(P.XRotation(), 10);
  EXPECT_EQ(P.YOrigin(), 123);
  // Ordinals that name no value are left alone.
  EXPECT_EQ(P.Spheroid(), TSpheroid::WGS84);
  EXPECT_EQ(P.XAxisChanges(), xaYOrigin);
}

TEST_F(ProjectionTest, EnvironmentRefusesAModelClassOfAnotherKind) {
  RegisterGlobeClass<TNotAModel>();
  TGXML_Document doc;
  doc.SetAsString("<Projection><ProjectionModel Class=\"TNotAModel\" /></Projection>");
  EXPECT_THAT(
      [&] { P.LoadEnvironment(doc.Document()->ElementByName("Projection")); },
      ThrowsMessage<EGlobeException>("Class TNotAModel does not inherit from TProjectionModel"));
  EXPECT_EQ(P.ProjectionClass(), "TSphericalPrj");

  doc.SetAsString("<Projection XOrigin=\"abc\" />");
  EXPECT_THROW(P.LoadEnvironment(doc.Document()->ElementByName("Projection")), EConvertError);
}

// ---- Device conversions -----------------------------------------------------------------

TEST_F(ProjectionTest, DeviceConversions) {
  View("TSphericalPrj", 0, 0, 1e-6L, {200, 150});
  TPointLL ll;
  EXPECT_TRUE(P.DeviceXYToLL(200, 150, ll));
  EXPECT_EQ(ll, (TPointLL{0, 0, 0}));
  EXPECT_FALSE(P.DeviceXYToLL(2000, 150, ll));
  EXPECT_EQ(ll, (TPointLL{GU_180_DEGREE, GU_180_DEGREE, 0}));

  TPoint xy;
  EXPECT_FALSE(P.LLToDeviceXY(GU_180_DEGREE, 0, xy));  // hidden, still written
  EXPECT_EQ(xy, (TPoint{200, 150}));
  EXPECT_TRUE(P.PointLLToXY({0, 10 * D, 0}, xy));
  EXPECT_EQ(xy.X, 200);
  EXPECT_LT(xy.Y, 150);

  EXPECT_TRUE(SamePixel(P, {10 * D, 10 * D, 0}, {10 * D + 1, 10 * D, 0}));
  EXPECT_FALSE(SamePixel(P, {10 * D, 10 * D, 0}, {11 * D, 10 * D, 0}));
}

TEST_F(ProjectionTest, CentreLatitudeAndLongitude) {
  SizeCanvas(400, 300);
  P.SetCenterLatitude(40);
  P.SetCenterLongitude(-75);
  EXPECT_NEAR(P.XRotation(), 40, 1e-6);
  EXPECT_NEAR(P.CenterLatitude(), 40, 1e-6);
  EXPECT_NEAR(P.CenterLongitude(), -75, 1e-6);
  EXPECT_EQ(P.CenterXY(), (TPoint{200, 150}));

  // A flat map moved so far that the canvas centre is off it.
  View("TCartesianPrj", 0, 0, 1e-6L, {200, 1000});
  EXPECT_EQ(P.CenterLatitude(), 2147483647.0L);
  EXPECT_EQ(P.CenterLongitude(), 2147483647.0L);
}

TEST_F(ProjectionTest, CenterXYPansOnlyWhenItMoves) {
  P.SetCenterXY(P.CenterXY());
  EXPECT_THAT(globe.Calls, ElementsAre("UpdateScrollBars", "RedrawLayers"));
  globe.Calls.clear();
  P.SetCenterXY({1, 2});
  EXPECT_EQ(P.CenterXY(), (TPoint{1, 2}));
  EXPECT_THAT(globe.Calls, ElementsAre("RedrawLayers", "RedrawLayers", "OnPanned",
                                       "UpdateScrollBars", "RedrawLayers"));
}

}  // namespace
}  // namespace globe::testing
