// The azimuthal equidistant map. A point's distance c from the centre (radians of arc) and
// its direction give its place on the disc; the antipode (c = π) is the whole rim, so an
// edge passing it jumps across the disc unless it is bent along its great circle or cut.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numbers>
#include <vector>

#include "globe/core/pointstore.h"
#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projmath.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/customglobe.h"

namespace globe {

using projection_detail::RoundD;
using projection_detail::SatRound32;
using projection_detail::Wrap32;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadPerGU = static_cast<double>(RADIANS_PER_GU);
// Rim arcs are drawn in steps of 2°.
constexpr double kRimStep = kPi / 90;
// The map is drawn at half the controller's scale: the disc is 180° of arc in radius, and
// at full scale a canvas even slightly wider than tall would need a view rectangle beyond
// 32 bits to show it whole. Half scale fits canvases up to 2.2 times as wide as tall, as the
// flat maps do.
constexpr double kMapScale = 0.5;
// Edges near the antipode are halved at most this often; a piece that still jumps across
// the disc then passes (nearly) through the antipode and is cut at the rim.
constexpr int kMaxDepth = 12;

double WrapPi(double a) noexcept {
  a = std::remainder(a, 2 * kPi);
  return a <= -kPi ? a + 2 * kPi : a;
}

// A point of the map: its vector in the centre's frame (east, north, towards the centre;
// any length), its distance from the centre and its offset from the origin in pixels.
struct TPolar {
  double e, n, z;
  double c;
  double x, y;
  bool Antipode;  // no direction of its own: placed at the top of the rim
  [[nodiscard]] double Angle() const noexcept { return std::atan2(y, x); }
};

// The view of one call or chain: the centre's frame and the scale.
struct TAzView {
  double C[3], E[3], N[3];  // in the earth-centred axes of LLHToPoint3D
  double K;                 // pixels per radian of arc
  double Rim;               // pixels from the origin to the rim
  double Lon0, Lat0;        // GU
  std::int64_t Ox, Oy;
  bool BackFace;

  TAzView(const TGlobeProjection& P, const double* Frame) noexcept
      : K(static_cast<double>(GU_PER_RADIAN * P.ScaleFactor()) * kMapScale),
        Rim(kPi * K),
        Ox(P.XOrigin()),
        Oy(P.YOrigin()),
        BackFace(P.RenderBackFace()) {
    for (int i = 0; i < 3; ++i) {
      C[i] = Frame[i];
      E[i] = Frame[3 + i];
      N[i] = Frame[6 + i];
    }
    // A centre parallel from a file may lie beyond the pole; the map is about the pole then.
    Lat0 = std::clamp(static_cast<double>(P.CentralParallel()), -90.0, 90.0) * GU_DEGREE;
    Lon0 = static_cast<double>(WrapDegrees180(P.CentralMeridian())) * GU_DEGREE;
    if (!std::isfinite(K) || !std::isfinite(Rim)) K = Rim = 0;
  }

  [[nodiscard]] TPolar Polar(double e, double n, double z) const noexcept {
    const double s = std::sqrt(e * e + n * n);
    const double c = std::atan2(s, z);
    if (s > 0) {
      const double f = c * K / s;
      return {e, n, z, c, e * f, -n * f, false};
    }
    if (z >= 0) return {e, n, z, 0, 0, 0, false};
    return {e, n, z, kPi, 0, -Rim, true};
  }
  [[nodiscard]] TPolar FromWorld(double X, double Y, double Z) const noexcept {
    return Polar(E[0] * X + E[1] * Y + E[2] * Z, N[0] * X + N[1] * Y + N[2] * Z,
                 C[0] * X + C[1] * Y + C[2] * Z);
  }
  [[nodiscard]] TPolar FromLL(double Long, double Lat) const noexcept {
    const double phi = Lat * kRadPerGU, lambda = Long * kRadPerGU;
    const double cp = std::cos(phi);
    return FromWorld(cp * std::sin(lambda), std::sin(phi), cp * std::cos(lambda));
  }
  // A point without a direction of its own takes the one given, on the rim.
  [[nodiscard]] TPolar OnRim(const TPolar& p, double Angle) const noexcept {
    TPolar r = p;
    r.x = Rim * std::cos(Angle);
    r.y = Rim * std::sin(Angle);
    return r;
  }
  [[nodiscard]] TPoint Device(double x, double y) const noexcept {
    return {Wrap32(RoundD(x) + Ox), Wrap32(RoundD(y) + Oy)};
  }
};

// Walks the edges of a chain, bending those near the antipode along their great circle
// and reporting the pieces that pass through it. Sink has Point(x, y) and Cross(from, to,
// sweep) (from and to are the angles on the rim, sweep the signed turn between them).
template <class TSink>
class TEdgeWalker {
 public:
  TEdgeWalker(const TAzView& View, TSink& Sink) noexcept : V(View), S(Sink) {}

  void Edge(const TPolar& A, const TPolar& B, int Depth = 0) {
    // Only an edge whose ends both lie beyond 90° can pass the antipode, and one that
    // covers two pixels or less cannot jump across the disc.
    const double dx = B.x - A.x, dy = B.y - A.y;
    if (A.c <= kPi / 2 || B.c <= kPi / 2 || dx * dx + dy * dy <= 4) {
      S.Point(B.x, B.y);
      return;
    }
    const TPolar M = V.Polar(A.e + B.e, A.n + B.n, A.z + B.z);
    const double a = A.Angle(), b = B.Angle();
    if (M.Antipode) {
      S.Cross(a, b, WrapPi(b - a));
      S.Point(B.x, B.y);
      return;
    }
    const double mx = M.x - (A.x + B.x) / 2, my = M.y - (A.y + B.y) / 2;
    if (mx * mx + my * my <= 1) {
      S.Point(B.x, B.y);
      return;
    }
    if (Depth >= kMaxDepth) {
      const double m = M.Angle();
      const double sweep = WrapPi(m - a) + WrapPi(b - m);
      if (std::fabs(sweep) > kPi / 4) S.Cross(a, b, sweep);
      S.Point(B.x, B.y);
      return;
    }
    Edge(A, M, Depth + 1);
    Edge(M, B, Depth + 1);
  }

 private:
  const TAzView& V;
  TSink& S;
};

// Writes device points into the buffer from an index on, dropping a point within one
// pixel of the last one written.
struct TBufferSink {
  const TAzView& V;
  std::int32_t n;
  double lastX = 1e300, lastY = 1e300;
  bool followRim = true;  // a crossing follows the rim (rings) rather than being cut

  void Point(double x, double y) {
    if (std::fabs(x - lastX) <= 1 && std::fabs(y - lastY) <= 1) return;
    lastX = x;
    lastY = y;
    EnsureDevicePoints(static_cast<std::size_t>(n) + 2);
    DevicePoints()[n++] = V.Device(x, y);
  }
  void Rim(double Angle) { Point(V.Rim * std::cos(Angle), V.Rim * std::sin(Angle)); }
  void Arc(double From, double Sweep) {
    const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(Sweep) / kRimStep)));
    for (int i = 0; i <= steps; ++i) Rim(From + Sweep * i / steps);
  }
  void Cross(double From, double, double Sweep) {
    if (followRim) Arc(From, Sweep);
  }
};

// Winding number of the closed polygon around (X, Y).
int Winding(const TPoint* p, std::int32_t n, std::int64_t X, std::int64_t Y) noexcept {
  int w = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const TPoint& a = p[i];
    const TPoint& b = p[i + 1 < n ? i + 1 : 0];
    const auto side = [&] {
      return (static_cast<double>(b.X) - a.X) * (static_cast<double>(Y) - a.Y) -
             (static_cast<double>(X) - a.X) * (static_cast<double>(b.Y) - a.Y);
    };
    if (a.Y <= Y) {
      if (b.Y > Y && side() > 0) ++w;
    } else if (b.Y <= Y && side() < 0) {
      --w;
    }
  }
  return w;
}

// Whether a ring that winds round the centre encloses the centre rather than the
// antipode. As the flat maps decide for a ring round a pole, the ring encloses the smaller
// of the two caps it divides the sphere into; in the centre's frame the cap round the
// centre has the area 2π − w·∮ cos(c) dθ (w = ±1, the ring's winding), so that it is the
// smaller one when w·∮ cos(c) dθ > 0. Which way the ring runs does not matter.
bool EnclosesCentre(const std::vector<TPoint3D>& Ring, const TAzView& V) {
  double winding = 0, integral = 0;
  double prevAngle = 0, prevCos = 0;
  bool first = true;
  for (std::size_t k = 0; k <= Ring.size(); ++k) {
    const TPoint3D& p = Ring[k < Ring.size() ? k : 0];
    const double X = p.iWorldX, Y = p.iWorldY, Z = p.iWorldZ;
    const double e = V.E[0] * X + V.E[1] * Y + V.E[2] * Z;
    const double n = V.N[0] * X + V.N[1] * Y + V.N[2] * Z;
    const double z = V.C[0] * X + V.C[1] * Y + V.C[2] * Z;
    const double len = std::sqrt(e * e + n * n + z * z);
    const double cosC = len > 0 ? z / len : 1;
    // The centre and the antipode have no direction: they keep the last one.
    const double angle = e == 0 && n == 0 ? prevAngle : std::atan2(n, e);
    if (!first) {
      const double d = WrapPi(angle - prevAngle);
      winding += d;
      integral += 0.5 * (cosC + prevCos) * d;
    }
    first = false;
    prevAngle = angle;
    prevCos = cosC;
  }
  return (winding > 0) == (integral > 0);
}

// The texture on the disc, found through the inverse projection: no triangle of a mesh
// could span the rim, where neighbouring pixels belong to places far apart. The inverse is
// taken exactly at the corners of cells of 8 × 8 pixels and interpolated within a cell
// where that is true to a quarter of a pixel (checked at the cell's middle); cells across
// the rim, the 180° meridian or too curved a stretch are done pixel by pixel.
void PaintTexture(const TAzView& V, const TGlobeCanvas& Canvas, platform::TBitmap& Bitmap,
                  const TTextureData& Texture) {
  constexpr int G = 8;
  struct TNode {
    double Long = 0, Lat = 0;  // GU
    bool Ok = false;
  };
  const double R = V.Rim;
  const auto inverse = [&V, R](double x, double y) {
    const double dx = x - static_cast<double>(V.Ox), dy = y - static_cast<double>(V.Oy);
    const double r = std::sqrt(dx * dx + dy * dy);
    TNode n;
    if (!(r <= R)) return n;
    const double c = r / V.K;
    const double ue = r > 0 ? dx / r : 0, un = r > 0 ? -dy / r : 0;
    const double sc = std::sin(c), cc = std::cos(c);
    const double vx = cc * V.C[0] + sc * (ue * V.E[0] + un * V.N[0]);
    const double vy = cc * V.C[1] + sc * (ue * V.E[1] + un * V.N[1]);
    const double vz = cc * V.C[2] + sc * (ue * V.E[2] + un * V.N[2]);
    n.Long = std::atan2(vx, vz) / kRadPerGU;
    n.Lat = std::asin(std::clamp(vy, -1.0, 1.0)) / kRadPerGU;
    n.Ok = true;
    return n;
  };
  // The texture's placement (as its own LLToTextureXY has it) taken once, in double.
  const TPointLL p0 = Texture.WorldPoints.GetLL(0), p1 = Texture.WorldPoints.GetLL(1);
  const std::int64_t rows = Texture.Height(), cols = Texture.PictureWidth();
  const std::int64_t stride = Texture.Width();
  double span = static_cast<double>(p1.iLongX) - p0.iLongX;
  const bool dateLine = p0.iLongX >= -GU_180_DEGREE - 1 && p0.iLongX <= GU_180_DEGREE + 1 &&
                        p1.iLongX >= -GU_180_DEGREE - 1 && p1.iLongX <= GU_180_DEGREE + 1 &&
                        p1.iLongX < p0.iLongX;
  if (dateLine) span += GU_360_DEGREE;
  const double latSpan = static_cast<double>(p1.iLatY) - p0.iLatY;
  if (rows <= 0 || cols <= 0 || span == 0 || latSpan == 0) return;
  const double uPerGU = static_cast<double>(cols - 1) / span;
  const double rowPerGU = static_cast<double>(rows) / latSpan;
  const std::uint8_t* bits = Texture.Bits();
  const std::uint8_t* palette = Texture.TexturePalette.data();
  const std::int32_t transparent = Texture.TransparentIndex;
  const auto put = [&](std::uint8_t* Row, std::int32_t X, double Long, double Lat) {
    double dLong = Long - p0.iLongX;
    if (dateLine && dLong < 0) dLong += GU_360_DEGREE;
    const auto u =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(dLong * uPerGU + 0.5), 0, cols - 1);
    const std::int64_t row =
        static_cast<std::int64_t>(std::floor((Lat - p0.iLatY) * rowPerGU + 0.5));
    const auto v = std::clamp<std::int64_t>(rows - row - 1, 0, rows - 1);
    const std::uint8_t index = bits[v * stride + u];
    if (index == transparent) return;
    // A palette entry has the pixel's byte order already.
    platform::PutPixel(Row + platform::TBitmap::kPixelBytes * static_cast<std::ptrdiff_t>(X),
                       platform::LoadPixelWord(palette + 4 * index));
  };

  const std::int32_t width = std::min(Canvas.CanvasWidth(), Bitmap.Width());
  const std::int32_t height = std::min(Canvas.CanvasHeight(), Bitmap.Height());
  const auto bound = [](double v, std::int32_t hi) {
    return static_cast<std::int32_t>(std::clamp<double>(v, 0, hi));
  };
  const std::int32_t x0 = bound(std::floor(V.Ox - R), width),
                     x1 = bound(std::ceil(V.Ox + R), width);
  const std::int32_t y0 = bound(std::floor(V.Oy - R), height),
                     y1 = bound(std::ceil(V.Oy + R), height);
  if (x0 >= x1 || y0 >= y1) return;
  const double tolerance = 0.25 / (V.K * kRadPerGU);  // GU in a quarter of a pixel

  const std::size_t columns = static_cast<std::size_t>((x1 - x0) / G + 2);
  std::vector<TNode> top(columns), bottom(columns);
  for (std::size_t i = 0; i < columns; ++i) top[i] = inverse(x0 + G * static_cast<double>(i), y0);
  for (std::int32_t y = y0; y < y1; y += G) {
    for (std::size_t i = 0; i < columns; ++i)
      bottom[i] = inverse(x0 + G * static_cast<double>(i), y + G);
    const std::int32_t yEnd = std::min(y + G, y1);
    for (std::size_t i = 0; i + 1 < columns; ++i) {
      const std::int32_t x = x0 + G * static_cast<std::int32_t>(i);
      if (x >= x1) break;
      const std::int32_t xEnd = std::min(x + G, x1);
      const TNode& a = top[i];
      const TNode& b = top[i + 1];
      const TNode& c = bottom[i];
      const TNode& d = bottom[i + 1];
      bool smooth = a.Ok && b.Ok && c.Ok && d.Ok;
      if (smooth) {
        const double lo = std::min({a.Long, b.Long, c.Long, d.Long});
        const double hi = std::max({a.Long, b.Long, c.Long, d.Long});
        smooth = hi - lo <= GU_90_DEGREE;
      }
      if (smooth) {
        const TNode m = inverse(x + G / 2.0, y + G / 2.0);
        const double dLat = std::fabs(m.Lat - (a.Lat + b.Lat + c.Lat + d.Lat) / 4);
        const double dLong = std::fabs(m.Long - (a.Long + b.Long + c.Long + d.Long) / 4) *
                             std::cos(m.Lat * kRadPerGU);
        smooth = m.Ok && dLat + dLong <= tolerance;
      }
      for (std::int32_t yy = y; yy < yEnd; ++yy) {
        std::uint8_t* row = Bitmap.ScanLine(yy);
        if (smooth) {
          const double fy = static_cast<double>(yy - y) / G;
          const double lLong = a.Long + (c.Long - a.Long) * fy, lLat = a.Lat + (c.Lat - a.Lat) * fy;
          const double rLong = b.Long + (d.Long - b.Long) * fy, rLat = b.Lat + (d.Lat - b.Lat) * fy;
          const double sLong = (rLong - lLong) / G, sLat = (rLat - lLat) / G;
          for (std::int32_t xx = x; xx < xEnd; ++xx) {
            const double fx = xx - x;
            put(row, xx, lLong + sLong * fx, lLat + sLat * fx);
          }
        } else {
          for (std::int32_t xx = x; xx < xEnd; ++xx) {
            const TNode n = inverse(xx, yy);
            if (n.Ok) put(row, xx, n.Long, n.Lat);
          }
        }
      }
    }
    std::swap(top, bottom);
  }
}

}  // namespace

TAzimuthalPrj::TAzimuthalPrj(TGlobeProjection* Parent) : TProjectionModel(Parent) {
  Parent->SetFlags({pfContinuous, pfTextureMap});
  // The rotations at installation are the starting point of later pans, not a pan.
  LastXrotation = Parent->XRotation();
  LastYrotation = Parent->YRotation();
}

const double* TAzimuthalPrj::Frame() const {
  const TGlobeProjection& P = Projection();
  if (P.CentralParallel() != FFrameLat || P.CentralMeridian() != FFrameLong) {
    FFrameLat = P.CentralParallel();
    FFrameLong = P.CentralMeridian();
    const double lat = std::clamp(static_cast<double>(FFrameLat), -90.0, 90.0);
    const double lon = static_cast<double>(WrapDegrees180(FFrameLong));
    const double phi = lat * kPi / 180, lambda = lon * kPi / 180;
    const double sp = std::sin(phi), cp = std::cos(phi), sl = std::sin(lambda),
                 cl = std::cos(lambda);
    const double frame[9] = {cp * sl, sp, cp * cl, cl, 0, -sl, -sp * sl, cp, -sp * cl};
    std::copy(std::begin(frame), std::end(frame), FFrame);
  }
  return FFrame;
}

TRect TAzimuthalPrj::ExtentsLL() const {
  return {-GU_90_DEGREE, -GU_90_DEGREE, GU_90_DEGREE, GU_90_DEGREE};
}

Extended TAzimuthalPrj::RimRadius() const { return TAzView(Projection(), Frame()).Rim; }

TPoint TAzimuthalPrj::RimPoint(Extended Azimuth) const {
  const TAzView V(Projection(), Frame());
  const double a = static_cast<double>(Azimuth - 90) * kPi / 180;
  return V.Device(V.Rim * std::cos(a), V.Rim * std::sin(a));
}

void TAzimuthalPrj::PropertyChanged(TProjectionProperty ProjectionProperty) {
  TGlobeProjection& P = Projection();
  // A degree of rotation pans by a degree of arc on the map.
  const double s = static_cast<double>(P.ScaleFactor()) * GU_DEGREE * kMapScale;
  if (ProjectionProperty == ppXRotation) {
    const Extended d = P.XRotation() - LastXrotation;
    LastXrotation = P.XRotation();
    P.SetIntProperty(ppYOrigin, Wrap32(P.YOrigin() + RoundD(static_cast<double>(d) * s)));
  } else if (ProjectionProperty == ppYRotation) {
    const Extended d = WrapDegrees180(P.YRotation() - LastYrotation);
    LastYrotation = P.YRotation();
    P.SetIntProperty(ppXOrigin, Wrap32(P.XOrigin() - RoundD(static_cast<double>(d) * s)));
  }
}

bool TAzimuthalPrj::PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) {
  const TAzView V(Projection(), Frame());
  const TPolar p = V.FromLL(ptLL.iLongX, ptLL.iLatY);
  DevicePoints()[iIndex] = V.Device(p.x, p.y);
  return !V.BackFace;
}

bool TAzimuthalPrj::XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) {
  const TAzView V(Projection(), Frame());
  if (!(V.K > 0)) return false;
  const double dx = static_cast<double>(std::int64_t{iX} - V.Ox);
  const double dy = static_cast<double>(std::int64_t{iY} - V.Oy);
  const double r = std::sqrt(dx * dx + dy * dy);
  // The rim's own pixels belong to the disc, whatever the rounding of the scale.
  double c = r / V.K;
  if (!(c <= kPi + 0.5 / V.K)) return false;
  c = std::min(c, kPi);
  const double ue = r > 0 ? dx / r : 0, un = r > 0 ? -dy / r : 0;
  const double sc = std::sin(c), cc = std::cos(c);
  double v[3];
  for (int i = 0; i < 3; ++i) v[i] = cc * V.C[i] + sc * (ue * V.E[i] + un * V.N[i]);
  DevicePoints()[iIndex] = {
      SatRound32(std::atan2(v[0], v[2]) / kRadPerGU),
      SatRound32(std::atan2(v[1], std::sqrt(v[0] * v[0] + v[2] * v[2])) / kRadPerGU)};
  return true;
}

std::int32_t TAzimuthalPrj::PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) {
  iStart = std::max(iStart, 0);
  EnsureDevicePoints(static_cast<std::size_t>(iStart) + static_cast<std::size_t>(Points.Count()) +
                     1);
  const TGlobeProjection& P = Projection();
  const TAzView V(P, Frame());
  if (V.BackFace || Points.Count() == 0) return iStart;
  const TPoint3DArray points =
      Points.Point3DArray(P.Globe().GlobeOptions().Contains(goCache3DPoints));
  const auto& pts = *points;
  const auto polar = [&V](const TPoint3D& p) {
    return V.FromWorld(p.iWorldX, p.iWorldY, p.iWorldZ);
  };

  TBufferSink sink{V, iStart};
  sink.followRim = bClosed;
  TEdgeWalker<TBufferSink> walker(V, sink);
  TPolar prev = polar(bClosed ? pts.back() : pts.front());
  if (!bClosed) sink.Point(prev.x, prev.y);
  for (std::size_t j = bClosed ? 0 : 1; j < pts.size(); ++j) {
    TPolar cur = polar(pts[j]);
    // The antipode itself is reached in the direction the chain comes from.
    if (cur.Antipode) cur = V.OnRim(cur, prev.Angle());
    walker.Edge(prev, cur);
    prev = cur;
  }
  if (!bClosed || sink.n - iStart < 3) return sink.n;

  // A ring around the centre encloses either the centre or the antipode; in the second
  // case the map shows it as the band between the ring and the rim.
  const TPoint* buffer = DevicePoints() + iStart;
  if (Winding(buffer, sink.n - iStart, V.Ox, V.Oy) != 0 && !EnclosesCentre(pts, V)) {
    const TPoint first = buffer[0];
    const double angle =
        std::atan2(static_cast<double>(first.Y - V.Oy), static_cast<double>(first.X - V.Ox));
    sink.lastX = sink.lastY = 1e300;
    sink.Point(static_cast<double>(first.X - V.Ox), static_cast<double>(first.Y - V.Oy));
    sink.Arc(angle, 2 * kPi);
  }
  return sink.n;
}

void TAzimuthalPrj::RenderLines(TGlobeCanvas& Canvas, TChainStore& Chains,
                                TGlobeObjectStateSet State, std::int32_t iPenWidth) {
  const TAzView V(Projection(), Frame());
  if (V.BackFace) return;
  State += TGlobeObjectStateSet{osClipLeft, osClipTop, osClipRight, osClipBottom};
  State.Exclude(osClosed);
  // Cuts the run at a crossing: it ends on the rim where it leaves, the next run starts
  // on the rim where it comes back.
  struct TRunSink : TBufferSink {
    TGlobeCanvas* Canvas;
    TGlobeObjectStateSet State;
    std::int32_t Pen;
    void Flush() {
      Canvas->DrawClippedPoly(n, State, Pen);
      n = 0;
      lastX = lastY = 1e300;
    }
    void Cross(double From, double To, double) {
      Rim(From);
      Flush();
      Rim(To);
    }
  };
  const TGlobeProjection& P = Projection();
  const bool cache = P.Globe().GlobeOptions().Contains(goCache3DPoints);
  TPointStore runFree;  // a chain with long straight runs, each run made one edge
  for (std::int32_t i = 0; i < Chains.Count(); ++i) {
    if (Chains.FindChain(i) == nullptr) continue;
    TPointStore* chain = &Chains.GetChain(i);
    if (chain->HasLongRuns()) {
      chain->CopyWithoutLongRuns(runFree);
      chain = &runFree;
    }
    if (chain->Count() < 2) continue;
    const TPoint3DArray points = chain->Point3DArray(cache);
    const auto& pts = *points;
    TRunSink sink{{V, 0}, &Canvas, State, iPenWidth};
    TEdgeWalker<TRunSink> walker(V, sink);
    TPolar prev = V.FromWorld(pts[0].iWorldX, pts[0].iWorldY, pts[0].iWorldZ);
    if (prev.Antipode && pts.size() > 1) {
      const TPolar next = V.FromWorld(pts[1].iWorldX, pts[1].iWorldY, pts[1].iWorldZ);
      prev = V.OnRim(prev, next.Angle());
    }
    sink.Point(prev.x, prev.y);
    for (std::size_t j = 1; j < pts.size(); ++j) {
      TPolar cur = V.FromWorld(pts[j].iWorldX, pts[j].iWorldY, pts[j].iWorldZ);
      if (cur.Antipode) cur = V.OnRim(cur, prev.Angle());
      walker.Edge(prev, cur);
      prev = cur;
    }
    sink.Flush();
  }
}

bool TAzimuthalPrj::VisibleMER(const TMER& MER, TGlobeObjectStateSet& State) {
  if (!TProjectionModel::VisibleMER(MER, State)) return false;
  const TAzView V(Projection(), Frame());
  // Within 20° of the antipode a shape may spread along the rim beyond its samples.
  constexpr std::int64_t margin = 20 * GU_DEGREE;
  const std::int64_t latA = static_cast<std::int64_t>(-V.Lat0);
  const std::int64_t lonA =
      WrapLongitude(Wrap32(static_cast<std::int64_t>(V.Lon0) + GU_180_DEGREE));
  std::int64_t d = (lonA - MER.iLongX) % GU_360_DEGREE;
  if (d < 0) d += GU_360_DEGREE;
  const bool nearLong = MER.iWidthX >= GU_360_DEGREE - 2 * margin || d <= MER.iWidthX + margin ||
                        d >= GU_360_DEGREE - margin;
  const bool nearLat = latA >= std::int64_t{MER.iLatY} - margin &&
                       latA <= std::int64_t{MER.iLatY} + MER.iHeightY + margin;
  if (nearLong && nearLat)
    State += TGlobeObjectStateSet{osClipLeft, osClipTop, osClipRight, osClipBottom};
  return true;
}

void TAzimuthalPrj::PaintSurface() {
  const TGlobeProjection& P = Projection();
  TGlobeCanvas& canvas = P.Globe().GlobeCanvas();
  const TTextureData& texture = P.Globe().BackgroundTextureMap();
  const TAzView V(P, Frame());
  platform::TBitmap* bitmap = canvas.Bitmap();
  if (texture.IsValid() && P.Flags().Contains(pfTextureMap) && bitmap != nullptr &&
      !bitmap->Empty() && V.K > 0) {
    PaintTexture(V, canvas, *bitmap, texture);
    return;
  }
  constexpr int kSides = 180;
  EnsureDevicePoints(kSides);
  TPoint* buffer = DevicePoints();
  for (int i = 0; i < kSides; ++i) {
    const double a = 2 * kPi * i / kSides;
    buffer[i] = V.Device(V.Rim * std::cos(a), V.Rim * std::sin(a));
  }
  canvas.DrawClippedPoly(kSides, {osClosed, osClipLeft, osClipTop, osClipRight, osClipBottom}, 1);
}

}  // namespace globe
