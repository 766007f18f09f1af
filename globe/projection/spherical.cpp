#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projmath.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/customglobe.h"

namespace globe {

using projection_detail::RoundD;
using projection_detail::Wrap32;

namespace {

// The world → screen transform of one call in double precision: per point it decides
// pixels only, and its error (far below 1e-6 pixel) does not move a rounding.
struct TSphereView {
  double m[9];
  double Radius;
  std::int64_t Ox, Oy;
  bool BackFace;

  TSphereView(const TMatrix& Transform, Extended GlobeRadius, const TGlobeProjection& P) noexcept
      : Radius(static_cast<double>(GlobeRadius)),
        Ox(P.XOrigin()),
        Oy(P.YOrigin()),
        BackFace(P.RenderBackFace()) {
    for (int i = 0; i < 9; ++i)
      m[i] = static_cast<double>(Transform.m[static_cast<std::size_t>(i)]);
  }

  TPoint Device(double sx, double sy) const noexcept {
    return {Wrap32(RoundD(sx) + Ox), Wrap32(RoundD(sy) + Oy)};
  }
};

// The textured surface: an octahedron of triangles subdivided on the sphere, culled per
// face, with the smallest triangles handed to the canvas.
class TTextureMesh {
 public:
  TTextureMesh(TSphericalPrj& Model, TGlobeCanvas& Canvas, const TTextureData& Texture) noexcept
      : model_(Model), canvas_(Canvas), texture_(Texture) {}

  // A corner with its place and device point, worked out once for all the faces sharing it.
  struct TVertex {
    TV3D V;
    TPointLL LL;
    TPoint Device;
    bool Visible;
  };

  TVertex Vertex(const TV3D& V, bool West) {
    TVertex r{V, ToLL(V, West), {}, false};
    r.Visible = model_.PointLLToXY(r.LL, 0);
    r.Device = DevicePoints()[0];
    return r;
  }

  void Face(const TV3D& A, const TV3D& B, const TV3D& C, int Depth, bool West) {
    Face(Vertex(A, West), Vertex(B, West), Vertex(C, West), Depth, West);
  }

  void Face(const TVertex& A, const TVertex& B, const TVertex& C, int Depth, bool West) {
    if (Depth == 0) {
      if (A.Visible && B.Visible && C.Visible)
        canvas_.RenderTextureTriangle({{A.LL, B.LL, C.LL}}, {A.Device, B.Device, C.Device},
                                      texture_);
      return;
    }
    if (!A.Visible && !B.Visible && !C.Visible) return;
    const TVertex ab = Vertex(Mid(A.V, B.V), West), ac = Vertex(Mid(A.V, C.V), West),
                  bc = Vertex(Mid(B.V, C.V), West);
    Face(A, ac, ab, Depth - 1, West);
    Face(B, ab, bc, Depth - 1, West);
    Face(C, bc, ac, Depth - 1, West);
    Face(ab, ac, bc, Depth - 1, West);
  }

 private:
  // The −1 and, on a west face, the forced negative sign keep a vertex on the 180° meridian
  // on its own face's side of the texture.
  // In double: a vertex lands on the same GU but where the two precisions straddle a half.
  static TPointLL ToLL(const TV3D& v, bool West) noexcept {
    constexpr auto gu = static_cast<double>(GU_PER_RADIAN);
    const auto x = static_cast<double>(v.X), y = static_cast<double>(v.Y),
               z = static_cast<double>(v.Z);
    auto lon = static_cast<std::int32_t>(RoundD(std::atan2(x, z) * gu)) - 1;
    if (West && lon > 0) lon = -lon;
    const double lat = std::fabs(y) < 1 ? std::atan2(y, std::sqrt(1 - y * y))
                                        : std::copysign(std::numbers::pi / 2, y);
    return PointLL(lon, static_cast<std::int32_t>(RoundD(lat * gu)));
  }
  static TV3D Mid(const TV3D& a, const TV3D& b) noexcept {
    TV3D m{a.X + b.X, a.Y + b.Y, a.Z + b.Z};
    const Extended len = std::sqrt(m.X * m.X + m.Y * m.Y + m.Z * m.Z);
    if (len > 0) m = {m.X / len, m.Y / len, m.Z / len};
    return m;
  }

  TSphericalPrj& model_;
  TGlobeCanvas& canvas_;
  const TTextureData& texture_;
};

}  // namespace

TSphericalPrj::TSphericalPrj(TGlobeProjection* Parent) : TProjectionModel(Parent) {
  Parent->SetFlags({pfContinuous, pfTextureMap});
  Parent->SetGraticuleLongSteps(36);
  Parent->SetGraticuleLatSteps(72);
}

void TSphericalPrj::Assign(const TCustomProjectionModel& AModel) {
  TProjectionModel::Assign(AModel);
  if (const auto* sphere = dynamic_cast<const TSphericalPrj*>(&AModel)) {
    FTransform = sphere->FTransform;
    FInvTransform = sphere->FInvTransform;
    FGlobeRadius = sphere->FGlobeRadius;
    FGlobeRadiusSquared = sphere->FGlobeRadiusSquared;
  }
}

TRect TSphericalPrj::ExtentsLL() const {
  return {-GU_EARTH_RADIUS, -GU_EARTH_RADIUS, GU_EARTH_RADIUS, GU_EARTH_RADIUS};
}

void TSphericalPrj::PropertyChanged(TProjectionProperty ProjectionProperty) {
  TGlobeProjection& P = Projection();
  switch (ProjectionProperty) {
    case ppXRotation:
      P.SetFloatProperty(ppXRotation, Clamp(P.XRotation(), -90, 90));
      break;
    case ppYRotation:
      P.SetFloatProperty(ppYRotation, WrapDegrees180(P.YRotation()));
      break;
    case ppZRotation:
      P.SetFloatProperty(ppZRotation, WrapDegrees180(P.ZRotation()));
      break;
    case ppScaleFactor:
      FGlobeRadius = P.ScaleFactor() * GU_EARTH_RADIUS;
      FGlobeRadiusSquared = FGlobeRadius * FGlobeRadius;
      break;
    default:
      return;
  }
  const TMatrix rotation = QuatToMatrix(EulerQuat(P.XRotation(), P.YRotation(), P.ZRotation()));
  FTransform = MatrixScale(rotation, P.ScaleFactor());
  FInvTransform = MatrixScale(MatrixTranspose(rotation), 1 / P.ScaleFactor());
}

bool TSphericalPrj::PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) {
  const TSphereView view(FTransform, FGlobeRadius, Projection());
  const TPoint3D p = LLHToPoint3D(ptLL.iLongX, ptLL.iLatY, ptLL.iHeightZ);
  const double X = p.iWorldX, Y = p.iWorldY, Z = p.iWorldZ;
  const double* m = view.m;
  const double sx = m[0] * X + m[1] * Y + m[2] * Z;
  const double sy = m[3] * X + m[4] * Y + m[5] * Z;
  const double depth = m[6] * X + m[7] * Y + m[8] * Z;
  bool near = depth <= 0;
  // A raised point behind the globe is still seen where it shows beside the disc.
  if (!near && ptLL.iHeightZ > 0) near = std::hypot(sx, sy) > view.Radius;
  DevicePoints()[iIndex] = view.Device(sx, sy);
  return near != view.BackFace;
}

bool TSphericalPrj::XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) {
  const TGlobeProjection& P = Projection();
  const Extended dx = static_cast<Extended>(std::int64_t{iX} - P.XOrigin());
  const Extended dy = static_cast<Extended>(std::int64_t{iY} - P.YOrigin());
  const Extended a = FGlobeRadiusSquared - dx * dx - dy * dy;
  if (a < 0) return false;
  const Extended dz = -std::sqrt(a);
  const TMatrix& N = FInvTransform;
  const Extended vx = N(0, 0) * dx + N(0, 1) * dy + N(0, 2) * dz;
  const Extended vy = N(1, 0) * dx + N(1, 1) * dy + N(1, 2) * dz;
  const Extended vz = N(2, 0) * dx + N(2, 1) * dy + N(2, 2) * dz;
  DevicePoints()[iIndex] = {
      projection_detail::SatRound32(ArcTan2(vx, vz) * GU_PER_RADIAN),
      projection_detail::SatRound32(ArcSin(vy / GU_EARTH_RADIUS) * GU_PER_RADIAN)};
  return true;
}

namespace {

// Projects the 3-D points: hidden ones are left out of a line and moved to the limb for a
// ring, and a point within a pixel of the last kept one is overwritten by the next. Every
// point is rounded and stored, so that keeping it is a select, not a branch: the thinning
// of dense coastlines is as good as random. Round is RoundD, or RoundNearest when it rounds
// the same.
template <class TRound>
std::int32_t ProjectSphereChain(const std::vector<TPoint3D>& Points, const TSphereView& View,
                                bool bClosed, TPoint* Buffer, TRound&& Round) {
  const double* m = View.m;
  double lastX = 2147483647.0, lastY = 2147483647.0;
  std::int32_t n = 0;
  for (const TPoint3D& p : Points) {
    const double X = p.iWorldX, Y = p.iWorldY, Z = p.iWorldZ;
    double sx = m[0] * X + m[1] * Y + m[2] * Z;
    double sy = m[3] * X + m[4] * Y + m[5] * Z;
    const double depth = m[6] * X + m[7] * Y + m[8] * Z;
    if ((depth <= 0) == View.BackFace) {
      if (!bClosed) continue;
      // A hidden stretch of a ring follows the limb. The point straight behind the
      // centre has no direction to the limb and is left out.
      const double h = std::sqrt(sx * sx + sy * sy);
      if (h == 0) continue;
      const double k = View.Radius / h;
      sx *= k;
      sy *= k;
    }
    const bool keep = !(std::fabs(lastX - sx) <= 1 && std::fabs(lastY - sy) <= 1);
    Buffer[n] = {Wrap32(Round(sx) + View.Ox), Wrap32(Round(sy) + View.Oy)};
    lastX = keep ? sx : lastX;
    lastY = keep ? sy : lastY;
    n += keep ? 1 : 0;
  }
  return n;
}

}  // namespace

std::int32_t TSphericalPrj::PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) {
  EnsureDevicePoints(static_cast<std::size_t>(std::max(iStart, 0)) +
                     static_cast<std::size_t>(Points.Count()) + 1);
  TPoint* buffer = DevicePoints();
  const TGlobeProjection& P = Projection();
  const TPoint3DArray points =
      Points.Point3DArray(P.Globe().GlobeOptions().Contains(goCache3DPoints));
  const TSphereView view(FTransform, FGlobeRadius, P);
  // Screen coordinates are sums of three products of 32-bit values with a row of the
  // matrix, or the radius on the limb: below 2^51 when those are.
  const double* m = view.m;
  const double rows = std::max({std::fabs(m[0]) + std::fabs(m[1]) + std::fabs(m[2]),
                                std::fabs(m[3]) + std::fabs(m[4]) + std::fabs(m[5]),
                                std::fabs(view.Radius) / 2147483648.0});
  if (rows < 1.0e6 && projection_detail::RoundingToNearest())
    return ProjectSphereChain(*points, view, bClosed, buffer,
                              [](double x) { return projection_detail::RoundNearest(x); });
  return ProjectSphereChain(*points, view, bClosed, buffer, [](double x) { return RoundD(x); });
}

void TSphericalPrj::PaintSurface() {
  const TGlobeProjection& P = Projection();
  const TTextureData& texture = P.Globe().BackgroundTextureMap();
  if (texture.IsValid() && P.Flags().Contains(pfTextureMap)) {
    const int depth = P.ScaleFactor() <= 2e-7L ? 3 : P.ScaleFactor() <= 2e-6L ? 4 : 5;
    constexpr Extended k = 0.99999999L;
    const TV3D east{k, 0, 0}, west{-k, 0, 0}, north{0, k, 0}, south{0, -k, 0}, front{0, 0, k},
        back{0, 0, -k};
    TTextureMesh mesh(*this, P.Globe().GlobeCanvas(), texture);
    EnsureDevicePoints(3);
    mesh.Face(east, front, north, depth, false);
    mesh.Face(east, north, back, depth, false);
    mesh.Face(south, front, east, depth, false);
    mesh.Face(south, east, back, depth, false);
    mesh.Face(north, west, back, depth, true);
    mesh.Face(north, front, west, depth, true);
    mesh.Face(west, south, back, depth, true);
    mesh.Face(west, front, south, depth, true);
    return;
  }
  const Extended c = std::cos(4 * PI_EXT / 180);
  const Extended s = std::sin(4 * PI_EXT / 180);
  Extended x = FGlobeRadius, y = 0;
  EnsureDevicePoints(90);
  TPoint* buffer = DevicePoints();
  for (int i = 0; i < 90; ++i) {
    if (i > 0) {
      const Extended x1 = x * c - y * s;
      y = x * s + y * c;
      x = x1;
    }
    buffer[i] = {Wrap32(std::int64_t{projection_detail::SatRound32(x)} + P.XOrigin()),
                 Wrap32(std::int64_t{projection_detail::SatRound32(y)} + P.YOrigin())};
  }
  P.Globe().GlobeCanvas().DrawClippedPoly(
      90, {osClosed, osClipLeft, osClipTop, osClipRight, osClipBottom}, 1);
}

}  // namespace globe
