// orvane-render: draws a globe view into a PNG, SVG or PDF file (PNG or EMF on Windows)
// without a window. Users make map pictures with it, the project's checks look at its
// output, and scripts/run shows its picture where there is no display.
#include <png.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/formats/xml.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "globe/view/shadow.h"
#include "platform/commandline.h"
#include "platform/filesystem.h"
#include "tools/cli.h"

// The platform's drawing services, and with them the vector files the tool can write.
#ifdef _WIN32
#include "platform/win32/gdidevice.h"
#else
#include <QGuiApplication>

#include "platform/qt/qtdevice.h"
#endif

namespace {

using orvane::cli::EndsWithNoCase;
using orvane::cli::EUsage;
using orvane::cli::ParseHexColor;
using orvane::cli::ParseNumber;
using orvane::cli::Quoted;

constexpr std::string_view kProgram = "orvane-render";
constexpr int kExitWritten = 0;
constexpr int kExitFiles = 1;
constexpr int kExitUsage = 2;
constexpr std::int32_t kMaxSide = 16384;
// The earth's equatorial radius is 309,397,230 globe units.
constexpr double kKmPerGlobeUnit = 6378.137 / 309397230.0;

enum class TFormat { Png, Svg, Pdf, Emf };

/// An output file's kind by its extension; Here says whether this platform writes it.
struct TOutputKind {
  std::string_view Extension;
  TFormat Format;
  bool Here;
};

#ifdef _WIN32
constexpr std::string_view kSystem = "Windows";
constexpr std::string_view kOtherSystem = "Linux";
constexpr std::string_view kOutputKinds = ".png or .emf";
constexpr TOutputKind kKinds[] = {{".png", TFormat::Png, true},
                                  {".emf", TFormat::Emf, true},
                                  {".svg", TFormat::Svg, false},
                                  {".pdf", TFormat::Pdf, false}};
#else
constexpr std::string_view kSystem = "Linux";
constexpr std::string_view kOtherSystem = "Windows";
constexpr std::string_view kOutputKinds = ".png, .svg or .pdf";
constexpr TOutputKind kKinds[] = {{".png", TFormat::Png, true},
                                  {".svg", TFormat::Svg, true},
                                  {".pdf", TFormat::Pdf, true},
                                  {".emf", TFormat::Emf, false}};
#endif

/// The usage text, the output's kinds between its two parts.
constexpr std::string_view kUsageStart = R"(Usage: orvane-render --output FILE [options]

Draws the globe view into a picture file, without a window.

  --output FILE        the file to write: )";

constexpr std::string_view kUsage = R"(
  --size WxH           its size in pixels (default 1024x768)
  --projection NAME    sphere, flat, mercator, azimuthal, or a projection class name such as
                       TCartesianPrj (default sphere)
  --center LAT,LON     the point in the middle, degrees north and east (south and west
                       negative)
  --altitude N         the view's altitude in globe units (about 48,500 to a kilometre),
                       0 fits the earth into the picture; the whole earth is about
                       520,000,000 divided by the picture's smaller side in pixels
                       (676,000 at 1024x768): small values zoom into a few kilometres
  --scale S            zoom: 1 fits the earth into the picture (default), 2 is twice as large
  --texture FILE       lay an uncompressed 256-colour bitmap on the earth's surface
  --shadow UTC         shade the night side for that moment: 2026-12-10T12:00:00Z, or now
  --shading MODE       how the night side is shaded: blend (default) moves the picture
                       towards the night and twilight colours, darken multiplies it by the
                       night colour, bands draws two hard-edged bands instead of a ramp
  --night COLOR        the night colour, #RRGGBB (default #808080)
  --twilight COLOR     the twilight colour, for blend and bands (default #C0C0C0)
  --night-lights FILE  an uncompressed 256-colour bitmap of the lights of the earth at night,
                       shown where the sun is down (not with bands)
  --environment FILE   load an environment document first; the other options override it
  --graticule STEP     graticule spacing in degrees, 1 to 89; 0 for none (default 15)
  --layer FILE         draw a layer file (.lyr, .shp, .mif); repeat for more, the last on top
  --declutter          leave out titles that would overlap one drawn before them
  --metadata WHERE     where layer index files (.md) go: data (beside the layer file,
                       default) or none
  --png-compression N  zlib level of PNG files, 0 (none, largest file) to 9 (smallest,
                       slowest); default 1, which writes a globe several times faster
                       than 6 for a file about a quarter larger
  --help               show this text

The texture and the night shading are drawn into the picture's pixels, so they show in PNG
files only. Exit status: 0 when the file was written, 1 when a file could not be read or
written, 2 for bad options.
)";

/// A file that cannot be read or written: exit status 1.
class EFiles : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TOptions {
  std::string Output;
  TFormat Format = TFormat::Png;
  std::int32_t Width = 1024;
  std::int32_t Height = 768;
  std::string Projection;
  std::optional<std::pair<double, double>> Center;  // latitude, longitude
  std::optional<std::int32_t> Altitude;
  std::optional<double> Scale;
  std::string Texture;
  std::optional<double> Shadow;  // date-time value, UTC
  std::string ShadowText;
  platform::TColor Night = platform::RGB(128, 128, 128);
  platform::TColor Twilight = platform::RGB(192, 192, 192);
  globe::TShadowMode Shading = globe::smBlend;
  std::string NightLights;
  std::string Environment;
  std::optional<std::int32_t> Graticule;
  std::vector<std::string> Layers;
  bool Declutter = false;
  bool Metadata = true;
  std::int32_t PngCompression = 1;
  bool Help = false;
};

// ---- Times ------------------------------------------------------------------------------

/// Reads exactly Count digits at Pos.
bool Digits(std::string_view Text, std::size_t& Pos, std::size_t Count, int& Value) {
  if (Pos + Count > Text.size()) return false;
  Value = 0;
  for (std::size_t i = 0; i < Count; ++i) {
    const char c = Text[Pos + i];
    if (c < '0' || c > '9') return false;
    Value = Value * 10 + (c - '0');
  }
  Pos += Count;
  return true;
}

bool Expect(std::string_view Text, std::size_t& Pos, char c) {
  if (Pos >= Text.size() || Text[Pos] != c) return false;
  ++Pos;
  return true;
}

/// "YYYY-MM-DDTHH:MM[:SS[.fraction]]" followed by "Z", "+HH:MM", "-HH:MM" or nothing (UTC).
std::optional<std::chrono::system_clock::time_point> ParseUtc(std::string_view Text) {
  using namespace std::chrono;
  std::size_t p = 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!Digits(Text, p, 4, y) || !Expect(Text, p, '-') || !Digits(Text, p, 2, mo) ||
      !Expect(Text, p, '-') || !Digits(Text, p, 2, d))
    return std::nullopt;
  if (p >= Text.size() || (Text[p] != 'T' && Text[p] != 't' && Text[p] != ' ')) return std::nullopt;
  ++p;
  if (!Digits(Text, p, 2, h) || !Expect(Text, p, ':') || !Digits(Text, p, 2, mi))
    return std::nullopt;
  double fraction = 0;
  if (p < Text.size() && Text[p] == ':') {
    ++p;
    if (!Digits(Text, p, 2, s)) return std::nullopt;
    if (p < Text.size() && Text[p] == '.') {
      const std::size_t start = p;
      ++p;
      while (p < Text.size() && Text[p] >= '0' && Text[p] <= '9') ++p;
      if (p == start + 1 || !ParseNumber(Text.substr(start, p - start), fraction))
        return std::nullopt;
    }
  }
  int offset = 0;  // minutes east of UTC
  if (p < Text.size()) {
    const char zone = Text[p++];
    if (zone == 'Z' || zone == 'z') {
      // UTC
    } else if (zone == '+' || zone == '-') {
      int oh = 0, om = 0;
      if (!Digits(Text, p, 2, oh)) return std::nullopt;
      Expect(Text, p, ':');
      if (!Digits(Text, p, 2, om) || oh > 23 || om > 59) return std::nullopt;
      offset = (zone == '+' ? 1 : -1) * (oh * 60 + om);
    } else {
      return std::nullopt;
    }
  }
  if (p != Text.size()) return std::nullopt;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                            day{static_cast<unsigned>(d)}};
  if (y < 1 || !date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return time_point_cast<system_clock::duration>(sys_days{date} + hours{h} + minutes{mi} -
                                                 minutes{offset} + duration<double>(s + fraction));
}

std::string FormatUtc(std::chrono::system_clock::time_point Time) {
  using namespace std::chrono;
  const sys_days date = floor<days>(Time);
  const year_month_day ymd{date};
  const hh_mm_ss<seconds> t{floor<seconds>(Time - date)};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(t.hours().count()), static_cast<int>(t.minutes().count()),
                static_cast<int>(t.seconds().count()));
  return text;
}

// ---- Options ----------------------------------------------------------------------------

platform::TColor ParseColor(std::string_view Name, std::string_view Text) {
  if (platform::TColor color = 0; ParseHexColor(Text, color)) {
    return color;
  } else if (!Text.empty()) {
    // The globe's own colour names ("clGray") are taken too.
    try {
      return globe::StringToColor(Text);
    } catch (const std::exception&) {
    }
  }
  throw EUsage(std::string(Name) + " wants a colour such as #808080, not " + Quoted(Text));
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
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
    if (name == "--output") {
      o.Output = next();
      const TOutputKind* kind = nullptr;
      for (const TOutputKind& k : kKinds) {
        if (EndsWithNoCase(o.Output, k.Extension)) kind = &k;
      }
      if (kind == nullptr) {
        throw EUsage("--output must name a " + std::string(kOutputKinds) + " file, not " +
                     Quoted(o.Output));
      }
      if (!kind->Here) {
        throw EUsage("--output: " + std::string(kind->Extension) + " files are written on " +
                     std::string(kOtherSystem) + " only; on " + std::string(kSystem) +
                     " give a " + std::string(kOutputKinds) + " file, not " + Quoted(o.Output));
      }
      o.Format = kind->Format;
      haveOutput = true;
    } else if (name == "--size") {
      const std::string_view v = next();
      const std::size_t x = v.find_first_of("xX");
      if (x == std::string_view::npos || !ParseNumber(v.substr(0, x), o.Width) ||
          !ParseNumber(v.substr(x + 1), o.Height) || o.Width < 1 || o.Height < 1 ||
          o.Width > kMaxSide || o.Height > kMaxSide)
        throw EUsage("--size wants WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxSide) + ", not " +
                     Quoted(v));
    } else if (name == "--projection") {
      o.Projection = next();
      if (o.Projection.empty()) throw EUsage("--projection needs a name");
    } else if (name == "--center" || name == "--centre") {
      const std::string_view v = next();
      const std::size_t comma = v.find(',');
      double lat = 0, lon = 0;
      if (comma == std::string_view::npos || !ParseNumber(v.substr(0, comma), lat) ||
          !ParseNumber(v.substr(comma + 1), lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180)
        throw EUsage("--center wants LAT,LON in degrees (-90 to 90, -180 to 180), not " +
                     Quoted(v));
      o.Center = {lat, lon};
    } else if (name == "--altitude") {
      const std::string_view v = next();
      std::int32_t a = 0;
      if (!ParseNumber(v, a) || a < 0)
        throw EUsage("--altitude wants a whole number of 0 or more, not " + Quoted(v));
      o.Altitude = a;
    } else if (name == "--scale") {
      const std::string_view v = next();
      double s = 0;
      if (!ParseNumber(v, s) || !(s > 0) || s > 1e9)
        throw EUsage("--scale wants a number above 0, not " + Quoted(v));
      o.Scale = s;
    } else if (name == "--texture") {
      o.Texture = next();
    } else if (name == "--shadow") {
      const std::string_view v = next();
      const auto time = v == "now" ? std::optional(std::chrono::system_clock::now()) : ParseUtc(v);
      if (!time)
        throw EUsage("--shadow wants a UTC time such as 2026-12-10T12:00:00Z, or now, not " +
                     Quoted(v));
      o.Shadow = globe::GMTDateTimeOf(*time);
      o.ShadowText = FormatUtc(*time);
    } else if (name == "--night") {
      o.Night = ParseColor(name, next());
    } else if (name == "--twilight") {
      o.Twilight = ParseColor(name, next());
    } else if (name == "--shading") {
      const std::string_view v = next();
      if (v == "blend") {
        o.Shading = globe::smBlend;
      } else if (v == "darken") {
        o.Shading = globe::smDarken;
      } else if (v == "bands") {
        o.Shading = globe::smBands;
      } else {
        throw EUsage("--shading wants blend, darken or bands, not " + Quoted(v));
      }
    } else if (name == "--night-lights") {
      o.NightLights = next();
      if (o.NightLights.empty()) throw EUsage("--night-lights needs a file name");
    } else if (name == "--environment") {
      o.Environment = next();
    } else if (name == "--graticule") {
      const std::string_view v = next();
      std::int32_t step = 0;
      if (!ParseNumber(v, step) || step < 0 || step > 89)
        throw EUsage("--graticule wants a step of 1 to 89 degrees, or 0 for none, not " +
                     Quoted(v));
      o.Graticule = step;
    } else if (name == "--declutter") {
      o.Declutter = true;
    } else if (name == "--layer") {
      o.Layers.emplace_back(next());
      if (o.Layers.back().empty()) throw EUsage("--layer needs a file name");
    } else if (name == "--png-compression") {
      const std::string_view v = next();
      if (!ParseNumber(v, o.PngCompression) || o.PngCompression < 0 || o.PngCompression > 9)
        throw EUsage("--png-compression wants a level of 0 to 9, not " + Quoted(v));
    } else if (name == "--metadata") {
      const std::string v(next());
      if (v != "data" && v != "none")
        throw EUsage("--metadata wants data or none, not " + Quoted(v));
      o.Metadata = v == "data";
    } else {
      throw EUsage("unknown option " + Quoted(argv[i]));
    }
  }
  if (!haveOutput) throw EUsage("--output FILE is required");
  if (o.Altitude && o.Scale) throw EUsage("give --altitude or --scale, not both");
  return o;
}

// ---- PNG --------------------------------------------------------------------------------

// libpng reports errors by longjmp: the writer keeps only trivially destructible state
// between its setjmp and its end, and the message goes through this buffer.
struct TPngError {
  std::jmp_buf Jump;
  char Message[160];
};

[[noreturn]] void PngError(png_structp Png, png_const_charp Message) {
  auto* error = static_cast<TPngError*>(png_get_error_ptr(Png));
  std::snprintf(error->Message, sizeof error->Message, "%s", Message);
  std::longjmp(error->Jump, 1);
}

void PngWarning(png_structp, png_const_charp) {}

/// Writes the picture's rows as they are (blue, green, red and a filler byte, top-down) to an
/// open file as 8-bit RGB: libpng reorders and drops the filler, no converted copy of the
/// picture. At the fast levels each row is filtered one way only; libpng's trial of
/// every filter on every row costs more than the compression there. Empty Error when done.
void WritePngRows(std::FILE* File, const platform::TBitmap& Picture, int Level, TPngError& Error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &Error, PngError, PngWarning);
  if (png == nullptr) {
    std::snprintf(Error.Message, sizeof Error.Message, "out of memory");
    return;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(Error.Message, sizeof Error.Message, "out of memory");
    return;
  }
  if (setjmp(Error.Jump) != 0) {
    png_destroy_write_struct(&png, &info);
    return;
  }
  png_init_io(png, File);
  png_set_compression_level(png, Level);
  if (Level == 0) {
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  } else if (Level <= 3) {
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  }
  png_set_IHDR(png, info, static_cast<png_uint_32>(Picture.Width()),
               static_cast<png_uint_32>(Picture.Height()), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (std::int32_t y = 0; y < Picture.Height(); ++y)
    png_write_row(png, Picture.ScanLine(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  Error.Message[0] = '\0';
}

void WritePng(const std::string& File, const platform::TBitmap& Picture, int Level) {
  std::FILE* file = platform::OpenFile(File, "wb");
  if (file == nullptr)
    throw EFiles("cannot write " + Quoted(File) + ": " + std::generic_category().message(errno));
  TPngError error{};
  WritePngRows(file, Picture, Level, error);
  const bool written = error.Message[0] == '\0';
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const int closeError = std::fclose(file) == 0 ? 0 : errno;
  if (!written || !flushed || closeError != 0) {
    std::error_code ec;
    std::filesystem::remove(platform::FsPath(File), ec);
    throw EFiles("cannot write " + Quoted(File) +
                 (written ? (closeError != 0 ? ": " + std::generic_category().message(closeError)
                                              : std::string(": write failed"))
                          : ": " + std::string(error.Message)));
  }
}

// ---- Rendering --------------------------------------------------------------------------

/// Whether the file can be opened for reading; names what is wrong otherwise.
void RequireReadable(const std::string& What, const std::string& File) {
  const std::filesystem::path path = platform::FsPath(File);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw EFiles("cannot read " + What + " " + Quoted(File) + ": no such file");
  if (!std::filesystem::is_regular_file(path, ec))
    throw EFiles("cannot read " + What + " " + Quoted(File) + ": not a regular file");
  if (!std::ifstream(path, std::ios::binary))
    throw EFiles("cannot read " + What + " " + Quoted(File));
}

std::string ProjectionClassOf(const std::string& Name) {
  if (Name == "sphere") return "TSphericalPrj";
  if (Name == "flat") return "TCartesianPrj";
  if (Name == "mercator") return "TMercatorPrj";
  if (Name == "azimuthal") return "TAzimuthalPrj";
  return Name;
}

std::string Degrees(double Value, char Positive, char Negative) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f°%c", std::fabs(Value), Value < 0 ? Negative : Positive);
  return text;
}

int Render(const TOptions& o) {
  globe::TGlobe4 view;
  view.Resize(o.Width, o.Height);
  globe::TGlobeProjection& prj = view.Projection();

  if (!o.Environment.empty()) {
    RequireReadable("environment document", o.Environment);
    // The reader takes any text as a document; one without the globe's element would
    // silently give the default view.
    globe::TGXML_Document document;
    try {
      document.LoadFromFile(o.Environment);
    } catch (const std::exception& e) {
      throw EFiles("cannot read environment document " + Quoted(o.Environment) + ": " + e.what());
    }
    if (document.Document()->ElementByName("TGlobe") == nullptr)
      throw EFiles(Quoted(o.Environment) + " is not an environment document (no TGlobe element)");
    view.LoadEnvironmentFromFile(o.Environment);
    if (view.EnvironmentFile().empty())
      throw EFiles("cannot read environment document " + Quoted(o.Environment));
  }
  if (!o.Projection.empty()) {
    try {
      prj.SetProjectionClass(ProjectionClassOf(o.Projection));
    } catch (const globe::EGlobeException& e) {
      throw EUsage("unknown projection " + Quoted(o.Projection) + ": " + e.what());
    }
  }
  if (o.Altitude) {
    // The altitude's unit is not one anybody guesses: a small value zooms into a few
    // kilometres of the earth and the picture looks blank. Say what fits the whole earth.
    prj.SetScaleFactor(0);
    const std::int32_t whole = prj.Altitude();
    prj.SetAltitude(*o.Altitude);
    const double km = std::min(o.Width, o.Height) / prj.ScaleFactor() * kKmPerGlobeUnit;
    if (*o.Altitude > 0 && km < 100)
      std::cerr << kProgram << ": note: --altitude " << *o.Altitude << " shows only about "
                << std::max(1L, std::lround(km)) << " km of the earth across the picture; "
                << whole << " (or 0) fits the whole earth\n";
  } else if (o.Scale || o.Environment.empty()) {
    prj.SetScaleFactor(0);
    if (o.Scale) prj.SetScaleFactor(prj.ScaleFactor() * static_cast<globe::Extended>(*o.Scale));
  }
  if (o.Center) {
    view.LocateToLL(static_cast<std::int32_t>(std::lround(o.Center->second * globe::GU_DEGREE)),
                    static_cast<std::int32_t>(std::lround(o.Center->first * globe::GU_DEGREE)));
  }
  if (!o.Texture.empty()) {
    RequireReadable("texture", o.Texture);
    // Loaded here first for the reason a file is refused; the view only says whether.
    globe::TTextureData probe;
    try {
      probe.LoadFromFile(o.Texture);
    } catch (const std::exception& e) {
      throw EFiles("cannot use texture " + Quoted(o.Texture) + ": " + e.what());
    }
    view.SetSurfaceTextureName(o.Texture);
    if (view.SurfaceTextureName().empty()) throw EFiles("cannot use texture " + Quoted(o.Texture));
  }
  if (o.Graticule) {
    if (*o.Graticule == 0) {
      view.SetGraticuleDrawMode(globe::gdNone);
    } else {
      view.SetGraticuleDrawMode(globe::gdBehind);
      view.SetGraticuleLatitudeStep(*o.Graticule);
      view.SetGraticuleLongitudeStep(*o.Graticule);
    }
  }
  view.SetSaveMetaDataLocation(o.Metadata ? globe::smdWithDataFile : globe::smdDiscard);
  // The layers' own reports (an index file that is not theirs, one that cannot be written)
  // would otherwise go unseen; none of them stops the picture.
  view.OnProgress = [](const void*, globe::TProgressMessage Kind, const std::string& Text,
                       bool&) {
    if (Kind == globe::pmMessage || Kind == globe::pmError)
      std::cerr << kProgram << ": note: " << Text << "\n";
  };
  for (const std::string& file : o.Layers) {
    RequireReadable("layer", file);
    try {
      const std::int32_t index = globe::AddLayerFromFile(view, file);
      if (index < 0) throw EFiles("cannot find layer " + Quoted(file));
      if (o.Declutter) view.Layers().GetLayer(index).SetAvoidTitleOverlap(true);
    } catch (const globe::EGlobeException& e) {
      throw EFiles("cannot read layer " + Quoted(file) + ": " + e.what());
    }
  }
  globe::TTextureData lights;
  if (!o.NightLights.empty()) {
    RequireReadable("night lights", o.NightLights);
    try {
      lights.LoadFromFile(o.NightLights);
    } catch (const std::exception& e) {
      throw EFiles("cannot use night lights " + Quoted(o.NightLights) + ": " + e.what());
    }
    if (!lights.IsValid()) throw EFiles("cannot use night lights " + Quoted(o.NightLights));
  }
  globe::TPointLL sun;
  if (o.Shadow) {
    globe::TShadowStyle style{o.Night, o.Twilight, o.Shading, 1};
    if (lights.IsValid()) style.NightLights = &lights;
    view.OnRender = [&view, &sun, style, when = *o.Shadow](const void*) {
      sun = view.RenderDIBShadow(when, style);
    };
  }

  if (o.Format == TFormat::Png) {
    const std::shared_ptr<platform::TBitmap> picture = view.GetBitmap(o.Width, o.Height);
    WritePng(o.Output, *picture, o.PngCompression);
  } else {
    if (!o.Texture.empty() || o.Shadow)
      std::cerr << kProgram << ": note: vector files show neither texture nor night shading\n";
    try {
      view.GetMetaFile(o.Output, o.Width, o.Height, true);
    } catch (const std::runtime_error& e) {
      throw EFiles("cannot write " + Quoted(o.Output) + ": " + e.what());
    }
  }

  std::cout << kProgram << ": wrote " << o.Output << " (" << o.Width << " x " << o.Height << ", "
            << prj.ProjectionClass();
  const double lat = static_cast<double>(prj.CenterLatitude());
  const double lon = static_cast<double>(prj.CenterLongitude());
  if (std::fabs(lat) <= 90 && std::fabs(lon) <= 360)
    std::cout << " centred on " << Degrees(lat, 'N', 'S') << " " << Degrees(lon, 'E', 'W');
  if (!o.Texture.empty()) std::cout << ", texture " << o.Texture;
  if (o.Shadow) {
    std::cout << ", night side for " << o.ShadowText;
    if (o.Format == TFormat::Png)
      std::cout << " with the sun over "
                << Degrees(static_cast<double>(sun.iLatY) / globe::GU_DEGREE, 'N', 'S') << " "
                << Degrees(static_cast<double>(sun.iLongX) / globe::GU_DEGREE, 'E', 'W');
  }
  std::cout << ")\n";
  return kExitWritten;
}

#ifdef _WIN32

/// The platform's drawing services for as long as it lives.
class TPlatformGraphics {
 public:
  explicit TPlatformGraphics(char** /*argv*/) { platform::SetGraphics(&FGraphics); }
  ~TPlatformGraphics() { platform::SetGraphics(nullptr); }
  TPlatformGraphics(const TPlatformGraphics&) = delete;
  TPlatformGraphics& operator=(const TPlatformGraphics&) = delete;

 private:
  // GDI draws without a window or a display; nothing to start first.
  platform::TGdiGraphics FGraphics;
};

#else

/// Qt started without a display; its drawing services for as long as it lives.
class TPlatformGraphics {
 public:
  explicit TPlatformGraphics(char** argv) : FApplication(Start(FArgc), argv) {
    platform::SetGraphics(&FGraphics);
  }
  ~TPlatformGraphics() { platform::SetGraphics(nullptr); }
  TPlatformGraphics(const TPlatformGraphics&) = delete;
  TPlatformGraphics& operator=(const TPlatformGraphics&) = delete;

 private:
  static int& Start(int& Argc) {
    // No window is ever shown; without a display Qt would refuse to start.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return Argc;
  }

  // Qt sees only the program's name: the options are not its own.
  int FArgc = 1;
  QGuiApplication FApplication;
  platform::TQtGraphics FGraphics;
};

#endif

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
    std::cout << kUsageStart << kOutputKinds << kUsage;
    return kExitWritten;
  }

  const TPlatformGraphics graphics(argv);
  int status = kExitWritten;
  try {
    status = Render(options);
  } catch (const EUsage& e) {
    std::cerr << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
    status = kExitUsage;
  } catch (const EFiles& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    status = kExitFiles;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": rendering failed: " << e.what() << "\n";
    status = kExitFiles;
  }
  return status;
}
