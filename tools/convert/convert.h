// The layer converter behind orvane-convert: reads geographic data (GeoJSON, TopoJSON,
// shapefiles with their dBase tables, MIF/MID files) and writes it as a LYR layer file
// through the engine's own objects, presenters and LYR writer.
//
// Every feature becomes one TGeoDataObject: polygons (all rings of all parts, holes
// included) one closed object drawn by the polygon presenter, lines one open object drawn
// by the polyline presenter, points one object drawn by the point presenter (a single point
// is stored as the centroid alone, several as one chain). A geometry collection whose
// members are of one kind gives one object; a mixed one gives one object per kind, each
// with the feature's title and ID. Features without geometry are left out.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "platform/types.h"

namespace orvane::convert {

/// Input or output that cannot be read or written, or input that is not valid data; the
/// message names the file (and the feature). The program exits with 1.
class EConvertFiles : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
/// Options that do not fit the input (an unknown TopoJSON object, a title column the table
/// does not have); the program exits with 2.
class EConvertUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Presenter IDs of the written file, fixed so that users can refer to them.
inline constexpr std::int32_t kPolygonPresenterID = 1;
inline constexpr std::int32_t kPolylinePresenterID = 2;
inline constexpr std::int32_t kPointPresenterID = 3;

/// The default of TConvertOptions::MaxPoints: about twenty times the points of the most
/// detailed public world maps, and well under a gigabyte of memory.
inline constexpr std::int64_t kMaxPoints = 10'000'000;

/// A fill: a solid colour, or none (a clear brush).
struct TFill {
  bool Clear = true;
  platform::TColor Color = 0;
};

enum class TInputKind { GeoJSON, TopoJSON, Shapefile, MIF };

struct TConvertOptions {
  std::string Input;
  std::string Output;
  /// TopoJSON: the object to convert; empty: every object in file order.
  std::string Object;
  /// GeoJSON/TopoJSON: the property that titles the objects; empty: no titles.
  std::string TitleProperty;
  /// Shapefile/MIF: the table column (from 1) that titles the objects; 0: no titles.
  std::int32_t TitleColumn = 0;
  /// GeoJSON/TopoJSON: the property holding an integer object ID ("id" also finds the
  /// feature's own id member); empty: no IDs.
  std::string IDProperty;

  platform::TColor PenColor = 0;
  /// Pixels.
  std::int32_t PenWidth = 1;
  TFill Brush;
  globe::TPointPresenterType PointType = globe::ppCircle;
  /// Pixels.
  std::int32_t PointSize = 6;
  /// Default: PenColor.
  std::optional<platform::TColor> PointPenColor;
  /// Default: Brush.
  std::optional<TFill> PointBrush;
  std::string FontName = "Arial";
  /// Pixels.
  std::int32_t FontSize = 9;
  platform::TColor FontColor = 0;
  globe::TTitleAlignment Alignment = globe::taNone;
  /// Title offset in the font's unit (pixels).
  std::int32_t TitleOffset = 0;
  /// Object zoom range in GU; equal values: always drawn.
  std::int32_t ZoomMin = 0;
  std::int32_t ZoomMax = 0;
  /// Douglas–Peucker tolerance in kilometres; 0: off.
  double SimplifyKm = 0;
  /// At most this many points are read (before simplification). TopoJSON can name one arc
  /// many times, so the size of the input alone does not bound the output.
  std::int64_t MaxPoints = kMaxPoints;
};

struct TConvertResult {
  std::int32_t Objects = 0;
  /// Points written: those of every chain, and 1 for an object stored as its centroid.
  std::int64_t Points = 0;
  /// Size of the written file.
  std::int64_t Bytes = 0;
  /// Features (or shapes) without usable geometry that were left out.
  std::int32_t Skipped = 0;
};

/// The input kind by the file's extension (any case): .geojson, .json (TopoJSON when its
/// "type" is "Topology"), .topojson, .shp, .mif; nullopt for others. A .json file is
/// reported as GeoJSON here; Convert looks inside.
[[nodiscard]] std::optional<TInputKind> InputKindOf(const std::string& FileName);

/// Converts Options.Input into the LYR file Options.Output (written through a temporary
/// file, so a failed conversion leaves no partial output). Throws EConvertFiles or
/// EConvertUsage as described above.
TConvertResult Convert(const TConvertOptions& Options);

}  // namespace orvane::convert
