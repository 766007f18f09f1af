#include "tools/convert/convert.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/objects/geodata.h"
#include "globe/readers/dbf.h"
#include "globe/readers/lyr.h"
#include "globe/readers/mif.h"
#include "globe/readers/shp.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"

namespace orvane::convert {
namespace {

using globe::TPointLL;
// Keeps the members in file order, so that "every object" of a topology and the error
// messages follow the file.
using Json = nlohmann::ordered_json;

constexpr std::int32_t kMaxChains = 65'535;  // an object record counts its chains in a Word
constexpr int kMaxCollectionDepth = 32;
constexpr std::uintmax_t kMaxJsonBytes = std::uintmax_t{1} << 30;

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  return std::equal(
      suffix.begin(), suffix.end(), s.end() - static_cast<std::ptrdiff_t>(suffix.size()),
      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

/// A JSON value for a message, cut short. Arrays and objects are shown only when they hold
/// plain values: printing is recursive, and input may nest without bound.
std::string Shown(const Json& Value) {
  const auto flat = [](const Json& v) {
    return std::all_of(v.begin(), v.end(), [](const Json& e) { return e.is_primitive(); });
  };
  if (Value.is_array() && !flat(Value))
    return "an array of " + std::to_string(Value.size()) + " values";
  if (Value.is_object() && !flat(Value)) return "an object";
  std::string text = Value.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

/// Whether Value is an object whose "type" is the text Type.
bool HasType(const Json& Value, std::string_view Type) {
  if (!Value.is_object()) return false;
  const auto it = Value.find("type");
  return it != Value.end() && it->is_string() && it->get_ref<const std::string&>() == Type;
}

// ---- Geometry of one feature -------------------------------------------------------------

enum TKind { kPolygon, kLine, kPoint, kKinds };

struct TGeometry {
  std::array<std::vector<std::vector<TPointLL>>, kKinds> Chains;  // rings, lines, point sets
};

struct TVec {
  double x, y, z;
};
TVec Sub(const TVec& a, const TVec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
TVec Scale(const TVec& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(const TVec& a, const TVec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
TVec Cross(const TVec& a, const TVec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Norm(const TVec& a) { return std::sqrt(Dot(a, a)); }

TVec UnitVector(const TPointLL& p) {
  const double lon = static_cast<double>(p.iLongX * globe::RADIANS_PER_GU);
  const double lat = static_cast<double>(p.iLatY * globe::RADIANS_PER_GU);
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

/// Angle in radians between two unit vectors, accurate for small angles too.
double Angle(const TVec& a, const TVec& b) { return std::atan2(Norm(Cross(a, b)), Dot(a, b)); }

/// Angular distance (radians) of P from the great-circle arc A–B: across the arc where P's
/// foot falls on it, else to the nearer end. Working on the sphere keeps the tolerance the
/// same at every latitude and across 180°.
double ArcDistance(const TVec& P, const TVec& A, const TVec& B) {
  const TVec n = Cross(A, B);
  const double len = Norm(n);
  if (len < 1e-15) return Angle(P, A);
  const TVec u = Scale(n, 1.0 / len);
  const double s = Dot(P, u);
  const TVec foot = Sub(P, Scale(u, s));
  if (Dot(Cross(A, foot), u) >= 0 && Dot(Cross(foot, B), u) >= 0)
    return std::asin(std::min(1.0, std::fabs(s)));
  return std::min(Angle(P, A), Angle(P, B));
}

/// Douglas–Peucker over V[First..Last], marking the points kept; iterative, so that long
/// chains cannot exhaust the stack.
void MarkKept(std::span<const TVec> V, std::size_t First, std::size_t Last, double Tolerance,
              std::vector<bool>& Keep) {
  std::vector<std::pair<std::size_t, std::size_t>> spans{{First, Last}};
  Keep[First] = Keep[Last] = true;
  while (!spans.empty()) {
    const auto [a, b] = spans.back();
    spans.pop_back();
    double worst = -1;
    std::size_t at = a;
    for (std::size_t i = a + 1; i < b; ++i) {
      const double d = ArcDistance(V[i], V[a], V[b]);
      if (d > worst) {
        worst = d;
        at = i;
      }
    }
    if (at == a || worst <= Tolerance) continue;
    Keep[at] = true;
    spans.emplace_back(a, at);
    spans.emplace_back(at, b);
  }
}

std::vector<TPointLL> KeptPoints(const std::vector<TPointLL>& Points,
                                 const std::vector<bool>& Keep) {
  std::vector<TPointLL> out;
  for (std::size_t i = 0; i < Points.size(); ++i)
    if (Keep[i]) out.push_back(Points[i]);
  return out;
}

std::vector<TPointLL> SimplifyLine(const std::vector<TPointLL>& Points, double Tolerance) {
  if (Points.size() < 3) return Points;
  std::vector<TVec> v;
  v.reserve(Points.size());
  for (const TPointLL& p : Points) v.push_back(UnitVector(p));
  std::vector<bool> keep(Points.size(), false);
  MarkKept(v, 0, v.size() - 1, Tolerance, keep);
  return KeptPoints(Points, keep);
}

/// A ring without its closing point. It is split at its first point and the point farthest
/// from it, and keeps at least three points, so that simplifying never removes a ring (a
/// small island stays on the map).
std::vector<TPointLL> SimplifyRing(const std::vector<TPointLL>& Points, double Tolerance) {
  const std::size_t n = Points.size();
  if (n < 4) return Points;
  std::vector<TVec> v;
  v.reserve(n + 1);
  for (const TPointLL& p : Points) v.push_back(UnitVector(p));
  v.push_back(v.front());  // the ring's closing point, index n
  std::size_t far = 1;
  for (std::size_t i = 2; i < n; ++i)
    if (Angle(v[i], v[0]) > Angle(v[far], v[0])) far = i;
  std::vector<bool> keep(n + 1, false);
  MarkKept(v, 0, far, Tolerance, keep);
  MarkKept(v, far, n, Tolerance, keep);
  keep[n] = false;
  if (std::count(keep.begin(), keep.end(), true) < 3) {
    std::size_t third = 0;
    double worst = -1;
    for (std::size_t i = 1; i < n; ++i) {
      if (i == far) continue;
      const double d = ArcDistance(v[i], v[0], v[far]);
      if (d > worst) {
        worst = d;
        third = i;
      }
    }
    keep[third] = true;
  }
  keep.pop_back();
  return KeptPoints(Points, keep);
}

// ---- Building the layer ----------------------------------------------------------------

/// Collects the objects and writes them with the presenters they use.
class TLayerBuilder {
 public:
  explicit TLayerBuilder(const TConvertOptions& Options) : FOptions(Options) {
    FGlobe.SetSaveMetaDataLocation(globe::smdDiscard);
    if (Options.SimplifyKm > 0) {
      FTolerance = static_cast<double>(globe::GUPerUnit(globe::TGlobeUnitTypes::Kilometer) *
                                       Options.SimplifyKm * globe::RADIANS_PER_GU);
    }
  }

  [[nodiscard]] globe::TGlobe4& Globe() { return FGlobe; }

  /// Counts points against kMaxPoints.
  void TakePoints(std::size_t Count, const std::string& Where) {
    FPointsTaken += static_cast<std::int64_t>(Count);
    if (FPointsTaken > FOptions.MaxPoints) {
      throw EConvertFiles(Where + ": more than " + std::to_string(FOptions.MaxPoints) +
                          " points, more than the converter handles");
    }
  }

  void Skip() { ++FSkipped; }

  /// Adds the feature's objects, one per kind of geometry it holds; a feature left without
  /// any usable geometry counts as skipped.
  void AddFeature(TGeometry& Geometry, const std::string& Title, std::int32_t ID,
                  const std::string& Where) {
    bool any = false;
    for (int kind = 0; kind < kKinds; ++kind) {
      std::vector<std::vector<TPointLL>> chains = Prepared(kind, Geometry.Chains[kind]);
      if (chains.empty()) continue;
      if (chains.size() > static_cast<std::size_t>(kMaxChains)) {
        throw EConvertFiles(Where + ": " + std::to_string(chains.size()) +
                            " parts, more than an object can hold (" + std::to_string(kMaxChains) +
                            ")");
      }
      auto obj = std::make_unique<globe::TGeoDataObject>(nullptr);
      if (kind == kPoint && chains.size() == 1 && chains.front().size() == 1) {
        obj->SetCentroid(chains.front().front());
      } else {
        globe::TChainStore& store = obj->Chains();
        for (std::size_t c = 0; c < chains.size(); ++c) {
          globe::TPointStore& chain = store.GetChain(static_cast<std::int32_t>(c));
          for (const TPointLL& p : chains[c]) chain.Add(p);
        }
      }
      obj->SetClosed(kind == kPolygon);
      obj->SetTitle(Title);
      obj->SetID(ID);
      obj->SetZoomMin(FOptions.ZoomMin);
      obj->SetZoomMax(FOptions.ZoomMax);
      obj->SetPresenterID(kind == kPolygon ? kPolygonPresenterID
                          : kind == kLine  ? kPolylinePresenterID
                                           : kPointPresenterID);
      FUsed[static_cast<std::size_t>(kind)] = true;
      FObjects.push_back(std::move(obj));
      any = true;
    }
    if (!any) ++FSkipped;
  }

  TConvertResult Write(const std::string& FileName) {
    std::vector<std::unique_ptr<globe::TGlobePresenter>> presenters;
    if (FUsed[kPolygon]) {
      auto p = std::make_unique<globe::TPolygonPresenter>(&FGlobe, kPolygonPresenterID);
      p->PolyPen().Define(FOptions.PenColor, platform::psSolid, FOptions.PenWidth,
                          globe::TGlobeUnitTypes::Pixel);
      DefineBrush(p->PolyBrush(), FOptions.Brush);
      presenters.push_back(std::move(p));
    }
    if (FUsed[kLine]) {
      auto p = std::make_unique<globe::TPolylinePresenter>(&FGlobe, kPolylinePresenterID);
      p->PolyPen().Define(FOptions.PenColor, platform::psSolid, FOptions.PenWidth,
                          globe::TGlobeUnitTypes::Pixel);
      presenters.push_back(std::move(p));
    }
    if (FUsed[kPoint]) {
      auto p = std::make_unique<globe::TPointPresenter>(&FGlobe, kPointPresenterID);
      p->SetPointType(FOptions.PointType);
      p->SetPointUnit(globe::TGlobeUnitTypes::Pixel);
      p->SetPointSize(FOptions.PointSize);
      p->PointPen().Define(FOptions.PointPenColor.value_or(FOptions.PenColor), platform::psSolid, 1,
                           globe::TGlobeUnitTypes::Pixel);
      DefineBrush(p->PointBrush(), FOptions.PointBrush.value_or(FOptions.Brush));
      presenters.push_back(std::move(p));
    }
    std::vector<globe::TGlobePresenter*> presenterList;
    for (const auto& p : presenters) {
      p->TitleFont().Define(FOptions.FontName, FOptions.FontColor, FOptions.FontSize,
                            globe::TGlobeUnitTypes::Pixel, 0, {});
      p->SetTitleAlignment(FOptions.Alignment);
      p->SetTitleOffset(FOptions.TitleOffset);
      presenterList.push_back(p.get());
    }
    std::vector<globe::TGlobeObject*> objectList;
    objectList.reserve(FObjects.size());
    for (const auto& o : FObjects) objectList.push_back(o.get());

    try {
      globe::WriteLYR(FileName, presenterList, objectList);
    } catch (const std::exception& e) {
      throw EConvertFiles("cannot write " + Quoted(FileName) + ": " + e.what());
    }

    TConvertResult result;
    result.Objects = static_cast<std::int32_t>(FObjects.size());
    result.Skipped = FSkipped;
    // Counted after writing: the writer drops repeated points from the chains.
    for (const auto& o : FObjects) {
      const globe::TChainStore& chains = o->Chains();
      if (chains.Count() == 0) {
        ++result.Points;
        continue;
      }
      for (std::int32_t c = 0; c < chains.Count(); ++c)
        if (const globe::TPointStore* chain = chains.FindChain(c)) result.Points += chain->Count();
    }
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(platform::FsPath(FileName), ec);
    if (ec) throw EConvertFiles("cannot read back " + Quoted(FileName) + ": " + ec.message());
    result.Bytes = static_cast<std::int64_t>(size);
    return result;
  }

 private:
  static void DefineBrush(globe::TGlobeBrush& Brush, const TFill& Fill) {
    Brush.Define(Fill.Color, Fill.Clear ? globe::bsClear : globe::bsSolid);
  }

  /// Repeated points dropped, rings without their closing point, simplified when asked;
  /// rings of fewer than 3 and lines of fewer than 2 points left out, unless the feature has
  /// nothing else: a country too small for the data's precision keeps its title and its
  /// place on the map.
  [[nodiscard]] std::vector<std::vector<TPointLL>> Prepared(
      int Kind, std::vector<std::vector<TPointLL>>& Chains) const {
    std::vector<std::vector<TPointLL>> out;
    if (Kind == kPoint) {
      // All the points of a feature form one chain.
      std::vector<TPointLL> points;
      for (auto& c : Chains) points.insert(points.end(), c.begin(), c.end());
      if (!points.empty()) out.push_back(std::move(points));
      return out;
    }
    std::vector<TPointLL> fallback;
    for (auto& c : Chains) {
      c.erase(std::unique(c.begin(), c.end()), c.end());
      // The canvas closes every ring of a closed object itself.
      if (Kind == kPolygon && c.size() > 1 && c.front() == c.back()) c.pop_back();
      if (FTolerance > 0)
        c = Kind == kPolygon ? SimplifyRing(c, FTolerance) : SimplifyLine(c, FTolerance);
      if (c.size() >= (Kind == kPolygon ? 3U : 2U)) {
        out.push_back(std::move(c));
      } else if (c.size() > fallback.size()) {
        fallback = std::move(c);
      }
    }
    if (out.empty() && !fallback.empty()) out.push_back(std::move(fallback));
    return out;
  }

  const TConvertOptions& FOptions;
  globe::TGlobe4 FGlobe;
  double FTolerance = 0;  // radians
  std::vector<std::unique_ptr<globe::TGeoDataObject>> FObjects;
  std::array<bool, kKinds> FUsed{};
  std::int32_t FSkipped = 0;
  std::int64_t FPointsTaken = 0;
};

// ---- Feature properties ------------------------------------------------------------------

/// The text of a property: texts as they are, numbers and truth values as written; null,
/// lists and objects give no title.
std::string TitleOf(const Json& Value) {
  if (Value.is_string()) return Value.get<std::string>();
  if (Value.is_number() || Value.is_boolean()) return Value.dump();
  return {};
}

/// An integer ID from a number or a text of digits; 0 for null.
std::optional<std::int32_t> IDOf(const Json& Value) {
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  if (Value.is_null()) return 0;
  if (Value.is_number_integer()) {
    if (Value.is_number_unsigned()) {
      const auto v = Value.get<std::uint64_t>();
      if (v > static_cast<std::uint64_t>(hi)) return std::nullopt;
      return static_cast<std::int32_t>(v);
    }
    const auto v = Value.get<std::int64_t>();
    if (v < lo || v > hi) return std::nullopt;
    return static_cast<std::int32_t>(v);
  }
  if (Value.is_number_float()) {
    const double v = Value.get<double>();
    if (!(v >= lo && v <= hi) || v != std::trunc(v)) return std::nullopt;
    return static_cast<std::int32_t>(v);
  }
  if (Value.is_string()) {
    std::string_view text = Value.get_ref<const std::string&>();
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return v;
  }
  return std::nullopt;
}

// ---- GeoJSON and TopoJSON ----------------------------------------------------------------

/// What both JSON formats share: positions, properties, feature assembly, messages.
class TJsonReader {
 public:
  TJsonReader(const TConvertOptions& Options, TLayerBuilder& Builder)
      : FOptions(Options), FBuilder(Builder) {}

 protected:
  /// The file and the place in it, for messages.
  [[nodiscard]] std::string Located(const std::string& Where) const {
    return Quoted(FOptions.Input) + ", " + Where;
  }
  [[noreturn]] void Fail(const std::string& Where, const std::string& What) const {
    throw EConvertFiles(Located(Where) + ": " + What);
  }
  void Take(std::size_t Points, const std::string& Where) const {
    FBuilder.TakePoints(Points, Located(Where));
  }

  /// Degrees to a point; the longitude is wrapped, latitudes beyond the poles refused.
  TPointLL PointOf(double Long, double Lat, const std::string& Where) const {
    if (!std::isfinite(Long) || !std::isfinite(Lat) || std::fabs(Long) > 360 ||
        std::fabs(Lat) > 90) {
      char text[80];
      std::snprintf(text, sizeof text, "%.9g, %.9g", Long, Lat);
      Fail(Where, "position (" + std::string(text) +
                      ") is not a longitude of -360 to 360 and a latitude of -90 to 90 degrees");
    }
    return globe::DegToPointLL(Long, Lat);
  }

  /// The two numbers of a position (further values, such as heights, are ignored).
  std::pair<double, double> Numbers(const Json& Position, const std::string& Where) const {
    if (!Position.is_array() || Position.size() < 2 || !Position[0].is_number() ||
        !Position[1].is_number())
      Fail(Where, "a position must be [longitude, latitude], not " + Shown(Position));
    return {Position[0].get<double>(), Position[1].get<double>()};
  }

  const Json& Array(const Json& Parent, const char* Name, const std::string& Where) const {
    const auto it = Parent.find(Name);
    if (it == Parent.end() || !it->is_array())
      Fail(Where, std::string("\"") + Name + "\" must be an array");
    return *it;
  }

  /// Title and ID from the feature's properties (and its own id member), then the objects.
  void Emit(const Json& Feature, TGeometry& Geometry, const std::string& Where) {
    const Json* properties = nullptr;
    if (const auto it = Feature.find("properties"); it != Feature.end()) {
      if (it->is_object()) {
        properties = &*it;
      } else if (!it->is_null()) {
        Fail(Where, "\"properties\" must be an object, not " + Shown(*it));
      }
    }
    const auto property = [&](const std::string& Name) -> const Json* {
      if (properties != nullptr)
        if (const auto it = properties->find(Name); it != properties->end()) return &*it;
      return nullptr;
    };
    std::string title;
    if (!FOptions.TitleProperty.empty())
      if (const Json* v = property(FOptions.TitleProperty)) title = TitleOf(*v);
    std::int32_t id = 0;
    if (!FOptions.IDProperty.empty()) {
      const Json* v = property(FOptions.IDProperty);
      if (v == nullptr && FOptions.IDProperty == "id")
        if (const auto it = Feature.find("id"); it != Feature.end()) v = &*it;
      if (v != nullptr) {
        const std::optional<std::int32_t> parsed = IDOf(*v);
        if (!parsed)
          Fail(Where, "the ID " + Quoted(FOptions.IDProperty) + " is " + Shown(*v) +
                          ", not a whole number of -2147483648 to 2147483647");
        id = *parsed;
      }
    }
    const std::string where = title.empty() ? Where : Where + " (" + title + ")";
    FBuilder.AddFeature(Geometry, title, id, Located(where));
  }

  const TConvertOptions& FOptions;
  TLayerBuilder& FBuilder;
};

class TGeoJSONReader : public TJsonReader {
 public:
  using TJsonReader::TJsonReader;

  void Read(const Json& Root) {
    const std::string type = TypeOf(Root, "the file");
    if (type == "FeatureCollection") {
      const Json& features = Array(Root, "features", "the feature collection");
      for (std::size_t i = 0; i < features.size(); ++i)
        ReadFeature(features[i], "feature " + std::to_string(i));
    } else if (type == "Feature") {
      ReadFeature(Root, "the feature");
    } else {
      TGeometry geometry;
      ReadGeometry(Root, geometry, "the geometry", 0);
      Emit(Json::object(), geometry, "the geometry");
    }
  }

 private:
  std::string TypeOf(const Json& Value, const std::string& Where) const {
    if (!Value.is_object())
      Fail(Where, "an object with a \"type\" is expected, not " + Shown(Value));
    const auto it = Value.find("type");
    if (it == Value.end() || !it->is_string()) Fail(Where, "\"type\" is missing or not a text");
    return it->get<std::string>();
  }

  void ReadFeature(const Json& Feature, const std::string& Where) {
    if (TypeOf(Feature, Where) != "Feature")
      Fail(Where, "a Feature is expected, not " + Quoted(Feature.at("type").get<std::string>()));
    const auto it = Feature.find("geometry");
    if (it == Feature.end() || it->is_null()) {
      FBuilder.Skip();
      return;
    }
    TGeometry geometry;
    ReadGeometry(*it, geometry, Where, 0);
    Emit(Feature, geometry, Where);
  }

  std::vector<TPointLL> Chain(const Json& Positions, const std::string& Where) const {
    if (!Positions.is_array())
      Fail(Where, "a list of positions is expected, not " + Shown(Positions));
    Take(Positions.size(), Where);
    std::vector<TPointLL> chain;
    chain.reserve(Positions.size());
    for (const Json& p : Positions) {
      const auto [lon, lat] = Numbers(p, Where);
      chain.push_back(PointOf(lon, lat, Where));
    }
    return chain;
  }

  void Rings(const Json& Polygon, TGeometry& Out, const std::string& Where) const {
    if (!Polygon.is_array())
      Fail(Where, "a polygon must be a list of rings, not " + Shown(Polygon));
    for (const Json& ring : Polygon) Out.Chains[kPolygon].push_back(Chain(ring, Where));
  }

  void ReadGeometry(const Json& Geometry, TGeometry& Out, const std::string& Where, int Depth) {
    const std::string type = TypeOf(Geometry, Where);
    if (type == "GeometryCollection") {
      if (Depth >= kMaxCollectionDepth) Fail(Where, "geometry collections nested too deeply");
      for (const Json& member : Array(Geometry, "geometries", Where))
        ReadGeometry(member, Out, Where, Depth + 1);
      return;
    }
    const auto it = Geometry.find("coordinates");
    if (it == Geometry.end()) Fail(Where, Quoted(type) + " without \"coordinates\"");
    const Json& c = *it;
    if (type == "Point") {
      Take(1, Where);
      const auto [lon, lat] = Numbers(c, Where);
      Out.Chains[kPoint].push_back({PointOf(lon, lat, Where)});
    } else if (type == "MultiPoint") {
      Out.Chains[kPoint].push_back(Chain(c, Where));
    } else if (type == "LineString") {
      Out.Chains[kLine].push_back(Chain(c, Where));
    } else if (type == "MultiLineString") {
      if (!c.is_array()) Fail(Where, "a MultiLineString must be a list of lines");
      for (const Json& line : c) Out.Chains[kLine].push_back(Chain(line, Where));
    } else if (type == "Polygon") {
      Rings(c, Out, Where);
    } else if (type == "MultiPolygon") {
      if (!c.is_array()) Fail(Where, "a MultiPolygon must be a list of polygons");
      for (const Json& polygon : c) Rings(polygon, Out, Where);
    } else {
      Fail(Where, "unknown geometry type " + Quoted(type));
    }
  }
};

class TTopoJSONReader : public TJsonReader {
 public:
  using TJsonReader::TJsonReader;

  void Read(const Json& Root) {
    if (const auto t = Root.find("transform"); t != Root.end() && !t->is_null()) {
      const auto pair = [&](const char* Name) -> std::pair<double, double> {
        const auto it = t->find(Name);
        if (it == t->end()) Fail("the transform", std::string("\"") + Name + "\" is missing");
        const auto [a, b] = Numbers(*it, "the transform's \"" + std::string(Name) + "\"");
        if (!std::isfinite(a) || !std::isfinite(b)) Fail("the transform", "values must be finite");
        return {a, b};
      };
      if (!t->is_object()) Fail("the transform", "an object is expected, not " + Shown(*t));
      FScale = pair("scale");
      FTranslate = pair("translate");
      FQuantized = true;
    }
    FArcs = &Array(Root, "arcs", "the topology");
    FDecoded.resize(FArcs->size());
    FIsDecoded.assign(FArcs->size(), false);

    const auto objects = Root.find("objects");
    if (objects == Root.end() || !objects->is_object())
      Fail("the topology", "\"objects\" must be an object");
    if (!FOptions.Object.empty()) {
      const auto it = objects->find(FOptions.Object);
      if (it == objects->end()) {
        std::string names;
        for (const auto& [name, value] : objects->items())
          names += (names.empty() ? "" : ", ") + name;
        throw EConvertUsage("--object: " + Quoted(FOptions.Input) + " has no object " +
                            Quoted(FOptions.Object) +
                            (names.empty() ? std::string(" (it has none)") : "; it has " + names));
      }
      ReadObject(FOptions.Object, *it);
    } else {
      for (const auto& [name, value] : objects->items()) ReadObject(name, value);
    }
  }

 private:
  void ReadObject(const std::string& Name, const Json& Object) {
    const std::string where = "object " + Quoted(Name);
    if (HasType(Object, "GeometryCollection")) {
      const Json& members = Array(Object, "geometries", where);
      for (std::size_t i = 0; i < members.size(); ++i)
        ReadFeature(members[i], where + ", geometry " + std::to_string(i));
    } else {
      ReadFeature(Object, where);
    }
  }

  void ReadFeature(const Json& Feature, const std::string& Where) {
    if (!Feature.is_object()) Fail(Where, "a geometry object is expected, not " + Shown(Feature));
    const auto type = Feature.find("type");
    if (type == Feature.end() || type->is_null()) {
      FBuilder.Skip();
      return;
    }
    TGeometry geometry;
    ReadGeometry(Feature, geometry, Where, 0);
    Emit(Feature, geometry, Where);
  }

  void ReadGeometry(const Json& Geometry, TGeometry& Out, const std::string& Where, int Depth) {
    if (!Geometry.is_object()) Fail(Where, "a geometry object is expected, not " + Shown(Geometry));
    const auto typeIt = Geometry.find("type");
    if (typeIt == Geometry.end() || typeIt->is_null()) return;  // a null geometry
    if (!typeIt->is_string()) Fail(Where, "\"type\" must be a text, not " + Shown(*typeIt));
    const std::string& type = typeIt->get_ref<const std::string&>();
    if (type == "GeometryCollection") {
      if (Depth >= kMaxCollectionDepth) Fail(Where, "geometry collections nested too deeply");
      for (const Json& member : Array(Geometry, "geometries", Where))
        ReadGeometry(member, Out, Where, Depth + 1);
    } else if (type == "Point") {
      const auto it = Geometry.find("coordinates");
      if (it == Geometry.end()) Fail(Where, "a Point without \"coordinates\"");
      Take(1, Where);
      Out.Chains[kPoint].push_back({Position(*it, Where)});
    } else if (type == "MultiPoint") {
      const Json& c = Array(Geometry, "coordinates", Where);
      Take(c.size(), Where);
      std::vector<TPointLL> points;
      for (const Json& p : c) points.push_back(Position(p, Where));
      Out.Chains[kPoint].push_back(std::move(points));
    } else if (type == "LineString") {
      Out.Chains[kLine].push_back(Chain(Array(Geometry, "arcs", Where), Where));
    } else if (type == "MultiLineString") {
      for (const Json& line : Array(Geometry, "arcs", Where))
        Out.Chains[kLine].push_back(Chain(line, Where));
    } else if (type == "Polygon") {
      for (const Json& ring : Array(Geometry, "arcs", Where))
        Out.Chains[kPolygon].push_back(Chain(ring, Where));
    } else if (type == "MultiPolygon") {
      for (const Json& polygon : Array(Geometry, "arcs", Where)) {
        if (!polygon.is_array())
          Fail(Where, "a polygon must be a list of rings, not " + Shown(polygon));
        for (const Json& ring : polygon) Out.Chains[kPolygon].push_back(Chain(ring, Where));
      }
    } else {
      Fail(Where, "unknown geometry type " + Quoted(type));
    }
  }

  /// A position of a Point or MultiPoint: quantized (but not delta-encoded) under a transform.
  TPointLL Position(const Json& P, const std::string& Where) const {
    auto [x, y] = Numbers(P, Where);
    if (FQuantized) {
      x = x * FScale.first + FTranslate.first;
      y = y * FScale.second + FTranslate.second;
    }
    return PointOf(x, y, Where);
  }

  /// The points of the arcs listed, joined; the point two arcs share appears twice and
  /// goes with the other repeated points.
  std::vector<TPointLL> Chain(const Json& ArcIndexes, const std::string& Where) {
    if (!ArcIndexes.is_array())
      Fail(Where, "a list of arc indexes is expected, not " + Shown(ArcIndexes));
    std::vector<TPointLL> chain;
    for (const Json& index : ArcIndexes) {
      if (!index.is_number_integer())
        Fail(Where, "an arc index must be a whole number, not " + Shown(index));
      const std::int64_t i = index.is_number_unsigned()
                                 ? static_cast<std::int64_t>(std::min<std::uint64_t>(
                                       index.get<std::uint64_t>(), std::uint64_t{1} << 62))
                                 : index.get<std::int64_t>();
      const std::int64_t arc = i >= 0 ? i : ~i;  // ~i: arc i read backwards
      if (arc >= static_cast<std::int64_t>(FArcs->size()))
        Fail(Where, "arc " + std::to_string(i) + " does not exist (the topology has " +
                        std::to_string(FArcs->size()) + " arcs)");
      const std::vector<TPointLL>& points = Arc(static_cast<std::size_t>(arc));
      Take(points.size(), Where);
      if (i >= 0) {
        chain.insert(chain.end(), points.begin(), points.end());
      } else {
        chain.insert(chain.end(), points.rbegin(), points.rend());
      }
    }
    return chain;
  }

  const std::vector<TPointLL>& Arc(std::size_t Index) {
    if (FIsDecoded[Index]) return FDecoded[Index];
    const std::string where = "arc " + std::to_string(Index);
    const Json& positions = (*FArcs)[Index];
    if (!positions.is_array())
      Fail(where, "a list of positions is expected, not " + Shown(positions));
    std::vector<TPointLL> points;
    points.reserve(positions.size());
    double x = 0, y = 0;
    for (const Json& p : positions) {
      const auto [a, b] = Numbers(p, where);
      if (FQuantized) {
        // Delta-encoded: each position is the difference to the one before.
        x += a;
        y += b;
        points.push_back(PointOf(x * FScale.first + FTranslate.first,
                                 y * FScale.second + FTranslate.second, where));
      } else {
        points.push_back(PointOf(a, b, where));
      }
    }
    FDecoded[Index] = std::move(points);
    FIsDecoded[Index] = true;
    return FDecoded[Index];
  }

  bool FQuantized = false;
  std::pair<double, double> FScale{1, 1};
  std::pair<double, double> FTranslate{0, 0};
  const Json* FArcs = nullptr;
  std::vector<std::vector<TPointLL>> FDecoded;
  std::vector<bool> FIsDecoded;
};

Json ParseJsonFile(const std::string& FileName) {
  std::error_code ec;
  const std::filesystem::path path = platform::FsPath(FileName);
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) throw EConvertFiles("cannot read " + Quoted(FileName) + ": " + ec.message());
  if (size > kMaxJsonBytes)
    throw EConvertFiles("cannot read " + Quoted(FileName) + ": larger than 1 GiB");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EConvertFiles("cannot read " + Quoted(FileName));
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size)) ||
      in.gcount() != static_cast<std::streamsize>(size))
    throw EConvertFiles("cannot read " + Quoted(FileName));
  try {
    return Json::parse(text);
  } catch (const Json::exception& e) {
    // The library's messages start with a bracketed identifier that users need not see.
    std::string what = e.what();
    if (const std::size_t close = what.find("] ");
        what.starts_with("[json.") && close != std::string::npos)
      what.erase(0, close + 2);
    throw EConvertFiles(Quoted(FileName) + " is not valid JSON: " + what);
  }
}

// ---- Shapefiles and MIF/MID ----------------------------------------------------------

/// The shape type in a shapefile's header; 0 when it cannot be read (the reader reports why).
std::int32_t ShapefileType(const std::string& FileName) {
  std::ifstream in(platform::FsPath(FileName), std::ios::binary);
  std::array<unsigned char, 36> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return 0;
  return static_cast<std::int32_t>(header[32] | (header[33] << 8) | (header[34] << 16) |
                                   (std::uint32_t{header[35]} << 24));
}

void ReadSource(const TConvertOptions& Options, TInputKind Kind, TLayerBuilder& Builder) {
  globe::TGlobe4& g = Builder.Globe();
  globe::TGlobeFileReader* source = nullptr;  // belongs to the globe
  globe::TGlobeSHPReader* shp = nullptr;
  globe::TGlobeMIFReader* mif = nullptr;
  if (Kind == TInputKind::Shapefile) {
    shp = std::make_unique<globe::TGlobeSHPReader>(&g).release();
    source = shp;
  } else {
    mif = std::make_unique<globe::TGlobeMIFReader>(&g).release();
    source = mif;
  }
  const std::string path =
      platform::Utf8Path(std::filesystem::absolute(platform::FsPath(Options.Input)));
  source->SetFileName(path);
  try {
    source->SetActive(true);
  } catch (const std::exception& e) {
    throw EConvertFiles("cannot read " + Quoted(Options.Input) + ": " + e.what());
  }
  if (!source->Active()) throw EConvertFiles("cannot read " + Quoted(Options.Input));

  const std::int32_t column = Options.TitleColumn - 1;
  if (shp != nullptr) {
    if (Options.TitleColumn > 0) {
      if (shp->DBF() == nullptr)
        throw EConvertUsage("--title: " + Quoted(Options.Input) + " has no dBase table (.dbf)");
      if (column >= shp->DBF()->FieldCount())
        throw EConvertUsage("--title: the table of " + Quoted(Options.Input) + " has " +
                            std::to_string(shp->DBF()->FieldCount()) + " columns, not " +
                            std::to_string(Options.TitleColumn));
      shp->SetTitleColumn(column);
    }
  } else if (Options.TitleColumn > 0) {
    const auto columns = static_cast<std::int32_t>(mif->MIDColumnNames().size());
    if (column >= columns)
      throw EConvertUsage("--title: " + Quoted(Options.Input) + " has " + std::to_string(columns) +
                          " columns, not " + std::to_string(Options.TitleColumn));
    mif->SetTitleColumn(column);
  }
  const std::int32_t shapeType = shp != nullptr ? ShapefileType(path) : 0;
  const bool multipoint = shapeType == 8 || shapeType == 18 || shapeType == 28;

  for (std::int32_t i = 0; i < source->Count(); ++i) {
    const std::string where = Quoted(Options.Input) + ", " +
                              (shp != nullptr ? "record " : "object ") + std::to_string(i + 1);
    globe::TGeoDataObject* obj = nullptr;
    try {
      obj = dynamic_cast<globe::TGeoDataObject*>(&source->GetObject(i));
    } catch (const std::exception& e) {
      throw EConvertFiles("cannot read " + Quoted(Options.Input) + ": " + e.what());
    }
    if (obj == nullptr || obj->Hidden()) {  // a null shape
      Builder.Skip();
      continue;
    }
    TGeometry geometry;
    const globe::TChainStore& chains = obj->Chains();
    if (chains.Count() == 0) {
      Builder.TakePoints(1, where);
      geometry.Chains[kPoint].push_back({obj->Centroid()});
    } else {
      const TKind kind = obj->Closed() ? kPolygon : multipoint ? kPoint : kLine;
      for (std::int32_t c = 0; c < chains.Count(); ++c) {
        const globe::TPointStore* chain = chains.FindChain(c);
        if (chain == nullptr) continue;
        Builder.TakePoints(static_cast<std::size_t>(chain->Count()), where);
        std::vector<TPointLL> points;
        points.reserve(static_cast<std::size_t>(chain->Count()));
        for (std::int32_t k = 0; k < chain->Count(); ++k) points.push_back(chain->GetLL(k));
        geometry.Chains[kind].push_back(std::move(points));
      }
    }
    const std::string title = Options.TitleColumn > 0 ? obj->Title() : std::string();
    // Shapefile objects keep their record number as ID, as the reader gives it.
    Builder.AddFeature(geometry, title, shp != nullptr ? obj->ID() : 0, where);
  }
}

}  // namespace

std::optional<TInputKind> InputKindOf(const std::string& FileName) {
  if (EndsWithNoCase(FileName, ".geojson") || EndsWithNoCase(FileName, ".json"))
    return TInputKind::GeoJSON;
  if (EndsWithNoCase(FileName, ".topojson")) return TInputKind::TopoJSON;
  if (EndsWithNoCase(FileName, ".shp")) return TInputKind::Shapefile;
  if (EndsWithNoCase(FileName, ".mif")) return TInputKind::MIF;
  return std::nullopt;
}

TConvertResult Convert(const TConvertOptions& Options) {
  const std::optional<TInputKind> kind = InputKindOf(Options.Input);
  if (!kind) throw EConvertUsage("cannot tell the kind of " + Quoted(Options.Input));
  std::error_code ec;
  const std::filesystem::path input = platform::FsPath(Options.Input);
  if (!std::filesystem::exists(input, ec))
    throw EConvertFiles("cannot read " + Quoted(Options.Input) + ": no such file");
  if (!std::filesystem::is_regular_file(input, ec))
    throw EConvertFiles("cannot read " + Quoted(Options.Input) + ": not a regular file");

  TLayerBuilder builder(Options);
  if (*kind == TInputKind::GeoJSON || *kind == TInputKind::TopoJSON) {
    const Json root = ParseJsonFile(Options.Input);
    const bool topology = HasType(root, "Topology");
    if (*kind == TInputKind::TopoJSON && !topology)
      throw EConvertFiles(Quoted(Options.Input) +
                          " is not TopoJSON (its \"type\" is not \"Topology\")");
    if (topology) {
      TTopoJSONReader(Options, builder).Read(root);
    } else {
      if (!Options.Object.empty())
        throw EConvertUsage("--object applies to TopoJSON input, and " + Quoted(Options.Input) +
                            " is GeoJSON");
      TGeoJSONReader(Options, builder).Read(root);
    }
  } else {
    ReadSource(Options, *kind, builder);
  }
  return builder.Write(Options.Output);
}

}  // namespace orvane::convert
