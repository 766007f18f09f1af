// Texture mapping: geographic triangles projected and filled scanline by scanline with
// texels found through linearly interpolated texture coordinates, written straight into the
// off-screen picture.
#include <algorithm>
#include <array>
#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "globe/core/numeric.h"
#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/projection/projmath.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"

namespace globe {

namespace {

using projection_detail::RoundD;

// RoundD's result, in one instruction where the rounding mode is to nearest (ToNearest).
inline std::int64_t Nearest(double x, bool ToNearest) noexcept {
  return ToNearest ? projection_detail::RoundNearest(x) : RoundD(x);
}

// What a span needs of the texture and the picture, fetched once per triangle.
struct TTexelSource {
  const std::uint8_t* Bits;
  const std::uint32_t* Words;  // the palette as pixel words, the fourth byte set
  std::int64_t Stride;         // bytes per memory row, padding included
  std::int64_t Width;          // columns of the picture
  std::int64_t Height;
  std::int32_t Transparent;
  bool ToNearest;  // the rounding mode is to nearest
};

// A corner: device position and texture position.
struct TCorner {
  std::int64_t X, Y;
  double U, V;
};

// One edge of the triangle being filled, walked a row at a time.
struct TEdge {
  double X, U, V;
  double dX = 0, dU = 0, dV = 0;
  std::int64_t Rows;
  int End;

  TEdge(const TCorner* c, int From, int To) noexcept
      : X(static_cast<double>(c[From].X)),
        U(c[From].U),
        V(c[From].V),
        Rows(c[To].Y - c[From].Y),
        End(To) {
    if (Rows != 0) {
      const auto n = static_cast<double>(Rows);
      dX = (static_cast<double>(c[To].X) - X) / n;
      dU = (c[To].U - U) / n;
      dV = (c[To].V - V) / n;
    }
  }
  void Advance(std::int64_t k) noexcept {
    const auto f = static_cast<double>(k);
    X += f * dX;
    U += f * dU;
    V += f * dV;
    Rows -= k;
  }
  void Step() noexcept {
    X += dX;
    U += dU;
    V += dV;
    --Rows;
  }
};

constexpr std::int64_t kPixel = platform::TBitmap::kPixelBytes;

// Writes the pixel word of a texel's palette entry into the pixel p. Transparent texels
// leave it.
inline void PutTexel(std::uint8_t* p, const TTexelSource& T, std::uint8_t index) noexcept {
  if (index == T.Transparent) return;
  std::memcpy(p, &T.Words[index], sizeof(std::uint32_t));
}

// The span loops step texture coordinates in fixed point with 40 fraction bits and round
// them half to even, as RoundD. With g = f + 2^39 − 1 stepped in place of f, g has the
// parity of f's whole part wherever a tie can occur, so the texel is (g + odd(g)) >> 40.
struct THalfEven {
  static constexpr std::int64_t kBias = 0x7FFFFFFFFF;
  static std::int64_t Whole(std::int64_t g) noexcept { return (g + ((g >> 40) & 1)) >> 40; }
};
// Where no value of the span lies exactly halfway, rounding half up gives the same texels.
struct TNoTie {
  static constexpr std::int64_t kBias = std::int64_t{1} << 39;
  static std::int64_t Whole(std::int64_t g) noexcept { return g >> 40; }
};

// Inverses modulo 256 of the odd numbers 2i + 1.
constexpr std::array<std::uint8_t, 128> kInverse256 = [] {
  std::array<std::uint8_t, 128> t{};
  for (unsigned i = 0; i < 128; ++i)
    for (unsigned x = 1; x < 256; x += 2)
      if (((2 * i + 1) * x & 0xFF) == 1) t[i] = static_cast<std::uint8_t>(x);
  return t;
}();

// Whether f + x·s lies exactly halfway between two texels (fraction 2^39) for some x in
// 0 … n − 1: the congruence x·s ≡ 2^39 − f modulo 2^40, solved modulo 256 by a table of
// inverses and each candidate tried, costs a few operations a span instead of the parity in
// every pixel.
bool MayTie(std::int64_t f, std::int64_t s, std::int64_t n) noexcept {
  constexpr std::uint64_t kMask = (std::uint64_t{1} << 40) - 1;
  const std::uint64_t r = ((std::uint64_t{1} << 39) - static_cast<std::uint64_t>(f)) & kMask;
  // A step of whole texels counts as 2^40 (t = 40): a tie then needs r = 0.
  const std::uint64_t step = (static_cast<std::uint64_t>(s) & kMask) | (kMask + 1);
  // With s = 2^t·d, d odd: no solution unless 2^t divides r, then x·d ≡ r / 2^t modulo
  // 2^(40 − t), whose solutions modulo 256 (or that smaller modulus) are one residue. Worked
  // out without branches: the answer is rarely yes and unpredictable.
  const int t = std::countr_zero(step);
  const bool divides = (r & ((std::uint64_t{1} << t) - 1)) == 0;
  const std::uint64_t d = step >> t, rest = r >> t, modulus = kMask >> t;
  auto x = static_cast<std::int64_t>((rest * kInverse256[(d & 0xFF) >> 1]) &
                                     std::min<std::uint64_t>(modulus, 0xFF));
  if (divides & (x < n)) [[unlikely]] {
    for (; x < n; x += 256)
      if (((static_cast<std::uint64_t>(x) * d - rest) & modulus) == 0) return true;
  }
  return false;
}

// Out of line: inlined into the triangle walk the loops lose registers to it and reload
// their steps from the stack every pixel.
template <class Round>
[[gnu::noinline]] void FillLevel(std::uint8_t* p, std::uint8_t* const Stop,
                                 const std::uint8_t* TextureRow, const TTexelSource& T,
                                 std::int64_t fu, const std::int64_t du) noexcept {
  const std::uint32_t* const words = T.Words;
  const std::int32_t transparent = T.Transparent;
  for (std::int64_t gu = fu + Round::kBias; p != Stop; p += kPixel, gu += du) {
    const std::uint8_t index = TextureRow[Round::Whole(gu)];
    if (index != transparent) std::memcpy(p, &words[index], sizeof(std::uint32_t));
  }
}

template <class Round>
[[gnu::noinline]] void FillSloped(std::uint8_t* p, std::uint8_t* const Stop, const TTexelSource& T,
                                  std::int64_t fu, std::int64_t fv, const std::int64_t du,
                                  const std::int64_t dv) noexcept {
  const std::uint8_t* const bits = T.Bits;
  const std::int64_t stride = T.Stride;
  const std::uint32_t* const words = T.Words;
  const std::int32_t transparent = T.Transparent;
  std::int64_t gu = fu + Round::kBias, gv = fv + Round::kBias;
  for (; p != Stop; p += kPixel, gu += du, gv += dv) {
    const std::uint8_t index = bits[Round::Whole(gv) * stride + Round::Whole(gu)];
    if (index != transparent) std::memcpy(p, &words[index], sizeof(std::uint32_t));
  }
}

// Draws row Row between xa and xb (right end excluded) within 0 … Width − 1. Inside: the
// span's texture coordinates are known to lie at least half a texel inside the texture.
void DrawSpan(std::uint8_t* Row, std::int32_t Width, const TTexelSource& T, std::int64_t xa,
              double ua, double va, std::int64_t xb, double ub, double vb, bool Inside) noexcept {
  if (xa > xb) {
    std::swap(xa, xb);
    std::swap(ua, ub);
    std::swap(va, vb);
  }
  const std::int64_t n = xb - xa;
  if (n <= 0 || xb < 0 || xa > Width) return;
  const double du = (ub - ua) / static_cast<double>(n);
  const double dv = (vb - va) / static_cast<double>(n);
  double u = ua, v = va;
  if (xa < 0) {
    u -= static_cast<double>(xa) * du;
    v -= static_cast<double>(xa) * dv;
    xa = 0;
  }
  const std::int64_t end = std::min<std::int64_t>(xb, Width);
  const std::int64_t maxU = T.Width - 1;
  const std::int64_t maxV = T.Height - 1;
  std::uint8_t* p = Row + kPixel * xa;
  // Stepped in fixed point with 40 fraction bits where the coordinates stay well inside its
  // range: the texels of the doubles but for a drift of the order of their own rounding
  // (a near tie may round the other way), without two roundings of doubles per pixel.
  constexpr double kFix = 1099511627776.0;  // 2^40
  constexpr double kFixLimit = 4194304.0;   // 2^22
  const auto steps = static_cast<double>(end - xa);
  if (Inside || (std::fabs(u) < kFixLimit && std::fabs(v) < kFixLimit &&
                 std::fabs(u + du * steps) < kFixLimit && std::fabs(v + dv * steps) < kFixLimit)) {
    std::int64_t fu = Nearest(u * kFix, T.ToNearest), fv = Nearest(v * kFix, T.ToNearest);
    const std::int64_t fdu = Nearest(du * kFix, T.ToNearest), fdv = Nearest(dv * kFix, T.ToNearest);
    // Half to even, as RoundD: a tie rounds up only from an odd whole part.
    auto whole = [](std::int64_t f) noexcept { return (f + 0x7FFFFFFFFF + ((f >> 40) & 1)) >> 40; };
    // The coordinates change linearly along the span: when both ends lie inside the texture
    // every pixel does, and the clamping can go.
    const std::int64_t last = end - xa - 1;
    const std::int64_t fuLast = fu + fdu * last, fvLast = fv + fdv * last;
    if (Inside || (std::min(fu, fuLast) >= 0 && std::min(fv, fvLast) >= 0 &&
                   whole(std::max(fu, fuLast)) <= maxU && whole(std::max(fv, fvLast)) <= maxV)) {
      std::uint8_t* const stop = p + kPixel * (end - xa);
      const bool tieU = MayTie(fu, fdu, end - xa);
      if (fdv == 0) {
        // A span along a row of the texture (the flat maps): one texture row for all of it.
        const std::uint8_t* const row = T.Bits + whole(fv) * T.Stride;
        if (tieU)
          FillLevel<THalfEven>(p, stop, row, T, fu, fdu);
        else
          FillLevel<TNoTie>(p, stop, row, T, fu, fdu);
        return;
      }
      if (tieU || MayTie(fv, fdv, end - xa))
        FillSloped<THalfEven>(p, stop, T, fu, fv, fdu, fdv);
      else
        FillSloped<TNoTie>(p, stop, T, fu, fv, fdu, fdv);
      return;
    }
    for (std::int64_t x = xa; x < end; ++x, p += kPixel) {
      if (fv < 0) fv = 0;
      const std::int64_t iu = std::clamp<std::int64_t>(whole(fu), 0, maxU);
      const std::int64_t iv = std::min(whole(fv), maxV);
      const std::uint8_t index = T.Bits[iv * T.Stride + iu];
      fu += fdu;
      fv += fdv;
      PutTexel(p, T, index);
    }
    return;
  }
  for (std::int64_t x = xa; x < end; ++x, p += kPixel) {
    if (v < 0) v = 0;
    // Coordinates past the image take its edge texel rather than bytes beyond it.
    const std::int64_t iu = std::clamp<std::int64_t>(RoundD(u), 0, maxU);
    const std::int64_t iv = std::min(RoundD(v), maxV);
    const std::uint8_t index = T.Bits[iv * T.Stride + iu];
    u += du;
    v += dv;
    PutTexel(p, T, index);
  }
}

// The wrap of PointLL for a longitude formed in 64 bits from wrapped ones.
std::int32_t WrapLong64(std::int64_t v) noexcept {
  if (v > GU_180_DEGREE + 1) v -= GU_360_DEGREE;
  if (v < -GU_180_DEGREE - 1) v += GU_360_DEGREE;
  return projection_detail::Wrap32(v);
}

// The subdivision steps 1 GU past each cell, which at the south edge of a texture reaching
// the pole would give corners beyond it that no flat map shows: latitudes stop at the poles.
TPointLL Corner(std::int64_t Long, std::int64_t Lat) noexcept {
  return {WrapLong64(Long),
          static_cast<std::int32_t>(std::clamp<std::int64_t>(Lat, -GU_90_DEGREE, GU_90_DEGREE)), 0};
}

void CoverRect(TGlobeCanvas& Canvas, const TTextureData& Texture, const TPointLL& N,
               const TPointLL& S, std::int64_t Limit) {
  const std::int64_t dLong = std::int64_t{S.iLongX} - N.iLongX;
  const std::int64_t a = (dLong > 0 ? dLong : dLong + GU_360_DEGREE) / 2;
  const std::int64_t dLat = std::int64_t{S.iLatY} - N.iLatY;
  const std::int64_t b = (dLat < 0 ? -dLat : dLat) / 2;
  if (a <= 0 || b <= 0) return;
  if (a < Limit || b < Limit) {
    Canvas.RenderTextureTriangle({{N, Corner(S.iLongX, N.iLatY), S}}, Texture);
    Canvas.RenderTextureTriangle({{N, Corner(N.iLongX, S.iLatY), S}}, Texture);
    return;
  }
  const std::int64_t x = N.iLongX, y = N.iLatY;
  CoverRect(Canvas, Texture, Corner(x, y), Corner(x + a - 1, y - b - 1), Limit);
  CoverRect(Canvas, Texture, Corner(x + a, y), Corner(x + 2 * a - 1, y - b - 1), Limit);
  CoverRect(Canvas, Texture, Corner(x + a, y - b - 1), Corner(x + 2 * a - 1, y - 2 * b - 1), Limit);
  CoverRect(Canvas, Texture, Corner(x, y - b), Corner(x + a - 1, y - 2 * b - 1), Limit);
}

// Longitude east of the central meridian as the flat maps place it: −180° … 180°, the
// seam at either end.
std::int64_t FromMeridian(std::int32_t Long, std::int32_t CM) noexcept {
  return WrapLongitude(projection_detail::Wrap32(std::int64_t{Long} - CM));
}

// A triangle whose corners lie more than half a turn apart as the map places them spans the
// seam (the cells of a texture are far narrower). It is cut along the seam into a triangle on
// the side of its lone corner and a quadrilateral (two triangles) on the other; the cut
// points sit 2 GU inside each edge of the map, as the chain splitting puts them, so that
// every piece lies wholly on one side. Returns false when the triangle does not span it.
bool SplitAtSeam(TGlobeCanvas& Canvas, const TTriangleLL& Tri, const TTextureData& Texture,
                 std::int32_t CM) {
  const auto& pts = Tri.Points;
  std::int64_t r[3];
  for (int i = 0; i < 3; ++i) r[i] = FromMeridian(pts[static_cast<std::size_t>(i)].iLongX, CM);
  if (std::max({r[0], r[1], r[2]}) - std::min({r[0], r[1], r[2]}) <= GU_180_DEGREE) return false;
  // The lone corner is the one on its own side of the central meridian. Pieces have all
  // their corners on one side and are never cut again.
  const bool east0 = r[0] > 0, east1 = r[1] > 0, east2 = r[2] > 0;
  if (east0 == east1 && east1 == east2) return false;
  const int lone = east1 == east2 ? 0 : (east0 == east2 ? 1 : 2);
  const int a = (lone + 1) % 3, b = (lone + 2) % 3;
  const bool loneEast = r[lone] > 0;

  // Where the edge from the lone corner to corner i meets the seam, on the east or west edge.
  auto cut = [&](int i, bool East) {
    const double dLone =
        static_cast<double>(std::max<std::int64_t>(GU_180_DEGREE - std::abs(r[lone]), 0));
    const double dOther =
        static_cast<double>(std::max<std::int64_t>(GU_180_DEGREE - std::abs(r[i]), 0));
    const double t = dLone + dOther > 0 ? dLone / (dLone + dOther) : 0;
    const TPointLL& from = pts[static_cast<std::size_t>(lone)];
    const TPointLL& to = pts[static_cast<std::size_t>(i)];
    const std::int64_t lat = from.iLatY + RoundD(t * (static_cast<double>(to.iLatY) - from.iLatY));
    const std::int64_t edge = East ? GU_180_DEGREE - 2 : -GU_180_DEGREE + 2;
    return Corner(std::int64_t{CM} + edge, lat);
  };
  const TPointLL& L = pts[static_cast<std::size_t>(lone)];
  const TPointLL& A = pts[static_cast<std::size_t>(a)];
  const TPointLL& B = pts[static_cast<std::size_t>(b)];
  const TPointLL la = cut(a, loneEast), lb = cut(b, loneEast);
  const TPointLL oa = cut(a, !loneEast), ob = cut(b, !loneEast);
  Canvas.RenderTextureTriangle({{L, la, lb}}, Texture);
  Canvas.RenderTextureTriangle({{oa, A, B}}, Texture);
  Canvas.RenderTextureTriangle({{oa, B, ob}}, Texture);
  return true;
}

}  // namespace

void TGlobeCanvas::RenderTextureTriangle(const TTriangleLL& WorldTri,
                                         const TTextureData& TextureMap) {
  platform::TBitmap* bitmap = Bitmap();
  if (bitmap == nullptr || bitmap->Empty() || !TextureMap.IsValid()) return;
  TGlobeProjection& P = Projection();
  const auto& pts = WorldTri.Points;

  if (!P.Flags().Contains(pfContinuous)) {
    // No triangle may join the map's left and right edges: one across the seam is drawn as
    // its pieces on either side.
    const std::int32_t cm = projection_detail::SatRound32(P.CentralMeridian() * GU_DEGREE);
    if (SplitAtSeam(*this, WorldTri, TextureMap, cm)) return;
  }

  TCustomProjectionModel& model = P.ProjectionModel();
  EnsureDevicePoints(3);
  std::array<TPoint, 3> device;
  for (int i = 0; i < 3; ++i) {
    if (!model.PointLLToXY(pts[static_cast<std::size_t>(i)], i)) return;
    device[static_cast<std::size_t>(i)] = DevicePoints()[i];
  }
  RenderTextureTriangle(WorldTri, device, TextureMap);
}

void TGlobeCanvas::RenderTextureTriangle(const TTriangleLL& WorldTri,
                                         const std::array<TPoint, 3>& Device,
                                         const TTextureData& TextureMap) {
  platform::TBitmap* bitmap = Bitmap();
  if (bitmap == nullptr || bitmap->Empty() || !TextureMap.IsValid()) return;
  TCorner c[3];
  for (std::size_t i = 0; i < 3; ++i) {
    const TPoint t = TextureMap.LLToTextureXY(WorldTri.Points[i]);
    c[i] = {Device[i].X, Device[i].Y, static_cast<double>(t.X), static_cast<double>(t.Y)};
  }
  const std::int64_t minX = std::min({c[0].X, c[1].X, c[2].X});
  const std::int64_t maxX = std::max({c[0].X, c[1].X, c[2].X});
  const std::int64_t minY = std::min({c[0].Y, c[1].Y, c[2].Y});
  const std::int64_t maxY = std::max({c[0].Y, c[1].Y, c[2].Y});
  if (maxX < 0 || maxY < 0 || minX > FiCanvasWidth || minY > FiCanvasHeight) return;

  // The canvas size may differ from the picture's for a moment; never write beyond either.
  const std::int32_t width = std::min(FiCanvasWidth, bitmap->Width());
  const std::int32_t height = std::min(FiCanvasHeight, bitmap->Height());
  // Whole pixel words to store, the fourth byte set once here rather than in every pixel.
  std::array<std::uint32_t, 256> words;
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = platform::LoadPixelWord(TextureMap.TexturePalette.data() + 4 * i) |
               platform::TBitmap::kOpaque;
  const TTexelSource texels{TextureMap.Bits(),
                            words.data(),
                            TextureMap.Width(),
                            TextureMap.PictureWidth(),
                            TextureMap.Height(),
                            TextureMap.TransparentIndex,
                            std::fegetround() == FE_TONEAREST};

  // Corners a texel or more inside the texture keep every span of the triangle inside it and
  // well within the fixed point's range (the drift of the stepped doubles is far below half
  // a texel): its spans skip those checks, which would pass and clamp nothing.
  const double lastU = texels.Width - 1, lastV = texels.Height - 1;
  bool inside = lastU < 2097152 && lastV < 2097152;  // 2^21
  for (const TCorner& k : c)
    inside = inside && k.U >= 1 && k.U <= lastU - 1 && k.V >= 1 && k.V <= lastV - 1;

  int top = 0;
  for (int i = 1; i < 3; ++i)
    if (c[i].Y < c[top].Y) top = i;
  TEdge A(c, top, (top + 1) % 3);
  TEdge B(c, top, (top + 2) % 3);
  std::int64_t y = c[top].Y;
  for (int continued = 0; continued < 2;) {
    while (A.Rows > 0 && B.Rows > 0) {
      if (y >= height) return;  // every later row lies lower still
      if (y < 0) {
        // Rows above the picture are passed over in one step.
        const std::int64_t k = std::min({-y, A.Rows, B.Rows});
        A.Advance(k);
        B.Advance(k);
        y += k;
        continue;
      }
      // Edges run between device corners, well inside the range of Nearest.
      DrawSpan(bitmap->ScanLine(static_cast<std::int32_t>(y)), width, texels,
               Nearest(A.X, texels.ToNearest), A.U, A.V, Nearest(B.X, texels.ToNearest), B.U, B.V,
               inside);
      ++y;
      A.Step();
      B.Step();
    }
    if (A.Rows <= 0) {
      A = TEdge(c, A.End, B.End);
      ++continued;
    }
    if (B.Rows <= 0) {
      B = TEdge(c, B.End, A.End);
      ++continued;
    }
  }
}

void TGlobeCanvas::RenderTextureMap(const TTextureData& TextureMap, std::int32_t CellLimit) {
  if (Bitmap() == nullptr || !TextureMap.IsValid()) return;
  const TPointLL north = TextureMap.TextureXYToLL({0, 0});
  // The far corner of the last texel, so that the last column and row are drawn too (on a
  // flat map with another central meridian they would leave a line along 180°).
  const TPointLL south = TextureMap.TextureXYToLL({TextureMap.PictureWidth(), TextureMap.Height()});
  // Cells above half a turn would be taken for ones across the seam.
  CoverRect(*this, TextureMap, north, south, std::clamp(CellLimit, 1, 45 * GU_DEGREE));
}

}  // namespace globe
