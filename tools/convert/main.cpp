// orvane-convert: turns GeoJSON, TopoJSON, shapefiles and MIF/MID files into LYR layer files
// that the globe view draws. The project makes its shipped layers with it; users make their
// own.
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

#include "globe/core/types.h"
#include "globe/core/units.h"
#include "globe/render/attributes.h"
#include "tools/cli.h"
#include "tools/convert/convert.h"

namespace {

using orvane::cli::EndsWithNoCase;
using orvane::cli::EUsage;
using orvane::cli::ParseHexColor;
using orvane::cli::ParseNumber;
using orvane::cli::Quoted;

using orvane::convert::TConvertOptions;
using orvane::convert::TFill;
using orvane::convert::TInputKind;

constexpr std::string_view kProgram = "orvane-convert";
constexpr int kExitWritten = 0;
constexpr int kExitFiles = 1;
constexpr int kExitUsage = 2;
constexpr std::int32_t kMaxPixels = 1000;
constexpr double kMaxSimplifyKm = 10'000;

constexpr std::string_view kUsage = R"(Usage: orvane-convert INPUT --output FILE.lyr [options]

Converts geographic data into a layer file (.lyr) for the globe view.

INPUT is one of
  .geojson, .json      GeoJSON: a FeatureCollection, a Feature or a bare geometry; a .json
                       file whose "type" is "Topology" is read as TopoJSON
  .topojson            TopoJSON (quantized or not)
  .shp                 a shapefile, with its dBase table (.dbf) beside it for titles
  .mif                 a MIF file, with its MID file beside it for titles
Coordinates are longitude and latitude in degrees (WGS 84).

Polygons become closed objects (every ring, holes and all parts of a feature in one
object) drawn by presenter 1, lines open objects drawn by presenter 2, points objects
drawn by presenter 3; only the presenters used are written. A geometry collection of one
kind gives one object, a mixed one one object per kind. Features without geometry are
left out.

  --output FILE          the layer file to write (.lyr)
  --object NAME          TopoJSON: the object to convert (default: every object)
  --title PROP           the feature property that titles the objects; for .shp and .mif
                         input the column number, from 1 (default: no titles)
  --id PROP              GeoJSON/TopoJSON: the property holding an integer object ID; "id"
                         also takes the feature's own id (default: no IDs)
  --pen COLOR[,WIDTH]    outline and line pen: #RRGGBB and a width in pixels
                         (default #000000,1)
  --brush COLOR|none     polygon fill (default none)
  --point TYPE           point symbol: none, dot, circle, square, diamond, triangle-up,
                         triangle-down, triangle-left, triangle-right (default circle)
  --point-size N         symbol size in pixels (default 6)
  --point-pen COLOR      symbol outline (default: the --pen colour)
  --point-brush COLOR|none  symbol fill (default: the --brush value)
  --font NAME,SIZE,COLOR title font; SIZE in pixels (default Arial,9,#000000)
  --align ALIGN          where titles go beside an object's centre: none, center, left,
                         right, top-left, top, top-right, bottom-left, bottom, bottom-right
                         (default none: titles are not drawn)
  --offset N             distance of the title from the centre, in pixels (default 0)
  --zoom MIN,MAX         draw objects only when MIN < altitude <= MAX, in kilometres; an
                         empty MAX sets no upper limit (default: at every altitude)
  --simplify KM          simplify lines and rings (Douglas-Peucker) with this tolerance in
                         kilometres; every ring keeps at least 3 points (default: off)
  --quiet                no report
  --help                 show this text

Colours are #RRGGBB or a colour name such as clNavy. Titles are stored in the Windows-1252
code page; characters it lacks become "?". Shapefile objects keep their record number as
ID. Exit status: 0 when the file was written, 1 when the input could not be read or is not
valid, or the output could not be written, 2 for bad options.
)";

struct TOptions {
  TConvertOptions Convert;
  bool Quiet = false;
  bool Help = false;
};

platform::TColor ParseColor(std::string_view Name, std::string_view Text) {
  if (platform::TColor color = 0; ParseHexColor(Text, color)) {
    return color;
  } else if (Text.starts_with("cl") || Text.starts_with("CL") || Text.starts_with("Cl")) {
    // The globe's own colour names ("clNavy"); numbers are left to the #RRGGBB form.
    try {
      return globe::StringToColor(Text);
    } catch (const std::exception&) {
    }
  }
  throw EUsage(std::string(Name) + " wants a colour such as #808080, not " + Quoted(Text));
}

TFill ParseFill(std::string_view Name, std::string_view Text) {
  if (Text == "none") return TFill{};
  return TFill{false, ParseColor(Name, Text)};
}

std::int32_t ParsePixels(std::string_view Name, std::string_view Text, std::int32_t Min) {
  std::int32_t v = 0;
  if (!ParseNumber(Text, v) || v < Min || v > kMaxPixels)
    throw EUsage(std::string(Name) + " wants a whole number of pixels, " + std::to_string(Min) +
                 " to " + std::to_string(kMaxPixels) + ", not " + Quoted(Text));
  return v;
}

template <class T, std::size_t N>
std::optional<T> Lookup(const std::array<std::pair<std::string_view, T>, N>& Table,
                        std::string_view Name) {
  for (const auto& [name, value] : Table)
    if (name == Name) return value;
  return std::nullopt;
}

template <class T, std::size_t N>
std::string Names(const std::array<std::pair<std::string_view, T>, N>& Table) {
  std::string names;
  for (const auto& entry : Table) names += (names.empty() ? "" : ", ") + std::string(entry.first);
  return names;
}

constexpr std::array<std::pair<std::string_view, globe::TPointPresenterType>, 9> kPointTypes{{
    {"none", globe::ppNone},
    {"dot", globe::ppDot},
    {"circle", globe::ppCircle},
    {"square", globe::ppSquare},
    {"diamond", globe::ppDiamond},
    {"triangle-up", globe::ppTriangleUp},
    {"triangle-down", globe::ppTriangleDown},
    {"triangle-left", globe::ppTriangleLeft},
    {"triangle-right", globe::ppTriangleRight},
}};

constexpr std::array<std::pair<std::string_view, globe::TTitleAlignment>, 10> kAlignments{{
    {"none", globe::taNone},
    {"center", globe::taCenter},
    {"left", globe::taLeft},
    {"right", globe::taRight},
    {"top-left", globe::taTopLeft},
    {"top", globe::taTop},
    {"top-right", globe::taTopRight},
    {"bottom-left", globe::taBottomLeft},
    {"bottom", globe::taBottom},
    {"bottom-right", globe::taBottomRight},
}};

/// Kilometres of altitude to GU; the largest value that fits is about 44,000 km.
std::optional<std::int32_t> AltitudeGU(double Km) {
  const long double gu = globe::GUPerUnit(globe::TGlobeUnitTypes::Kilometer) * Km;
  if (!(gu >= 0) || gu > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return globe::UnitsToGU(globe::TGlobeUnitTypes::Kilometer, Km);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  TConvertOptions& c = o.Convert;
  bool haveOutput = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view name = argv[i];
    std::string_view value;
    bool inlineValue = false;
    if (const std::size_t eq = name.find('=');
        name.starts_with("--") && eq != std::string_view::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    if (name == "--help" || name == "-h") {
      o.Help = true;
      return o;
    }
    auto next = [&]() -> std::string_view {
      if (inlineValue) return value;
      if (i + 1 >= argc) throw EUsage(std::string(name) + " needs a value");
      return argv[++i];
    };
    if (!name.starts_with("-") || name == "-") {
      if (!c.Input.empty())
        throw EUsage("one input file only, not " + Quoted(c.Input) + " and " + Quoted(name));
      c.Input = name;
      if (!orvane::convert::InputKindOf(c.Input))
        throw EUsage("INPUT must be a .geojson, .json, .topojson, .shp or .mif file, not " +
                     Quoted(c.Input));
    } else if (name == "--output") {
      c.Output = next();
      if (!EndsWithNoCase(c.Output, ".lyr"))
        throw EUsage("--output must name a .lyr file, not " + Quoted(c.Output));
      haveOutput = true;
    } else if (name == "--object") {
      c.Object = next();
      if (c.Object.empty()) throw EUsage("--object needs a name");
    } else if (name == "--title") {
      c.TitleProperty = next();
      if (c.TitleProperty.empty()) throw EUsage("--title needs a property name");
    } else if (name == "--id") {
      c.IDProperty = next();
      if (c.IDProperty.empty()) throw EUsage("--id needs a property name");
    } else if (name == "--pen") {
      const std::string_view v = next();
      const std::size_t comma = v.find(',');
      c.PenColor = ParseColor(name, v.substr(0, comma));
      c.PenWidth =
          comma == std::string_view::npos ? 1 : ParsePixels("--pen width", v.substr(comma + 1), 0);
    } else if (name == "--brush") {
      c.Brush = ParseFill(name, next());
    } else if (name == "--point") {
      const std::string_view v = next();
      const auto type = Lookup(kPointTypes, v);
      if (!type) throw EUsage("--point wants one of " + Names(kPointTypes) + ", not " + Quoted(v));
      c.PointType = *type;
    } else if (name == "--point-size") {
      c.PointSize = ParsePixels(name, next(), 1);
    } else if (name == "--point-pen") {
      c.PointPenColor = ParseColor(name, next());
    } else if (name == "--point-brush") {
      c.PointBrush = ParseFill(name, next());
    } else if (name == "--font") {
      // NAME,SIZE,COLOR from the right, so that a font name may hold commas.
      const std::string_view v = next();
      const std::size_t second = v.rfind(',');
      const std::size_t first = second == std::string_view::npos || second == 0
                                    ? std::string_view::npos
                                    : v.rfind(',', second - 1);
      if (first == std::string_view::npos || first == 0)
        throw EUsage("--font wants NAME,SIZE,COLOR such as Arial,9,#000000, not " + Quoted(v));
      c.FontName = v.substr(0, first);
      c.FontSize = ParsePixels("--font size", v.substr(first + 1, second - first - 1), 1);
      c.FontColor = ParseColor("--font", v.substr(second + 1));
    } else if (name == "--align") {
      const std::string_view v = next();
      const auto align = Lookup(kAlignments, v);
      if (!align) throw EUsage("--align wants one of " + Names(kAlignments) + ", not " + Quoted(v));
      c.Alignment = *align;
    } else if (name == "--offset") {
      const std::string_view v = next();
      if (!ParseNumber(v, c.TitleOffset) || std::abs(c.TitleOffset) > kMaxPixels)
        throw EUsage("--offset wants a whole number of pixels, -" + std::to_string(kMaxPixels) +
                     " to " + std::to_string(kMaxPixels) + ", not " + Quoted(v));
    } else if (name == "--zoom") {
      const std::string_view v = next();
      const std::size_t comma = v.find(',');
      double lo = 0, hi = 0;
      std::optional<std::int32_t> min, max;
      if (comma != std::string_view::npos && ParseNumber(v.substr(0, comma), lo)) {
        min = AltitudeGU(lo);
        if (comma + 1 == v.size()) {
          max = std::numeric_limits<std::int32_t>::max();
        } else if (ParseNumber(v.substr(comma + 1), hi)) {
          max = AltitudeGU(hi);
        }
      }
      if (!min || !max || *min >= *max)
        throw EUsage("--zoom wants MIN,MAX in kilometres with 0 <= MIN < MAX <= 44000, not " +
                     Quoted(v));
      c.ZoomMin = *min;
      c.ZoomMax = *max;
    } else if (name == "--simplify") {
      const std::string_view v = next();
      if (!ParseNumber(v, c.SimplifyKm) || c.SimplifyKm < 0 || c.SimplifyKm > kMaxSimplifyKm)
        throw EUsage("--simplify wants a tolerance in kilometres, 0 to 10000, not " + Quoted(v));
    } else if (name == "--quiet") {
      if (inlineValue) throw EUsage("--quiet takes no value");
      o.Quiet = true;
    } else {
      throw EUsage("unknown option " + Quoted(argv[i]));
    }
  }
  if (c.Input.empty()) throw EUsage("INPUT is required");
  if (!haveOutput) throw EUsage("--output FILE is required");

  const TInputKind kind = *orvane::convert::InputKindOf(c.Input);
  if (kind == TInputKind::Shapefile || kind == TInputKind::MIF) {
    if (!c.Object.empty()) throw EUsage("--object applies to TopoJSON input only");
    if (!c.IDProperty.empty()) throw EUsage("--id applies to GeoJSON and TopoJSON input only");
    if (!c.TitleProperty.empty()) {
      if (!ParseNumber(c.TitleProperty, c.TitleColumn) || c.TitleColumn < 1)
        throw EUsage("--title wants a column number from 1 for " + Quoted(c.Input) + ", not " +
                     Quoted(c.TitleProperty));
      c.TitleProperty.clear();
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const platform::TUtf8Console console;
  orvane::cli::TArguments args(argc, argv);
  TOptions options;
  try {
    options = ParseOptions(args.Count(), args.Values());
  } catch (const EUsage& e) {
    std::cerr << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
    return kExitUsage;
  }
  if (options.Help) {
    std::cout << kUsage;
    return kExitWritten;
  }

  try {
    const orvane::convert::TConvertResult r = orvane::convert::Convert(options.Convert);
    if (!options.Quiet) {
      std::cout << kProgram << ": wrote " << r.Objects << " objects (" << r.Points << " points) to "
                << options.Convert.Output << ", " << r.Bytes << " bytes\n";
      if (r.Skipped > 0)
        std::cerr << kProgram << ": note: " << r.Skipped
                  << (r.Skipped == 1 ? " feature" : " features")
                  << " without usable geometry left out\n";
    }
    return kExitWritten;
  } catch (const orvane::convert::EConvertUsage& e) {
    std::cerr << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
    return kExitUsage;
  } catch (const orvane::convert::EConvertFiles& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return kExitFiles;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": conversion failed: " << e.what() << "\n";
    return kExitFiles;
  }
}
