#include "globe/readers/mif.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <system_error>

#include "globe/core/codepage.h"
#include "globe/core/numeric.h"
#include "globe/core/text.h"
#include "globe/core/units.h"
#include "globe/formats/memorymap.h"
#include "globe/formats/propertystream.h"
#include "globe/formats/textreader.h"
#include "globe/objects/geodata.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

// Item offsets are stored as Integers in the metadata file.
constexpr std::int64_t MAX_OFFSET = std::numeric_limits<std::int32_t>::max();
constexpr double MAX_DEGREES = 1e9;
constexpr double MAX_ANGLE = 1e6;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::string_view WordOf(std::string_view Line, std::size_t Index) {
  std::size_t pos = 0;
  for (std::size_t w = 0;; ++w) {
    while (pos < Line.size() && IsBlank(Line[pos])) ++pos;
    if (pos >= Line.size()) return {};
    std::size_t end = pos;
    while (end < Line.size() && !IsBlank(Line[end])) ++end;
    if (w == Index) return Line.substr(pos, end - pos);
    pos = end;
  }
}

std::vector<std::string> SplitAt(std::string_view Text, char Separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = Text.find(Separator, start);
    parts.emplace_back(Text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string Without(std::string_view Text, char Removed) {
  std::string out;
  for (char c : Text) {
    if (c != Removed) out += c;
  }
  return out;
}

[[noreturn]] void ListIndexError(std::size_t Index) {
  throw EGlobeException("List index out of bounds (" + std::to_string(Index) + ")");
}

// The MIF colour red × 65536 + green × 256 + blue, as a colour value with red in the low byte.
TColor MIFColor(std::int32_t Value) {
  const auto v = static_cast<std::uint32_t>(Value) & 0xFFFFFFu;
  return ((v & 0xFFu) << 16) | (v & 0xFF00u) | (v >> 16);
}

platform::TPenStyle MIFPenStyle(std::int32_t Pattern) {
  if (Pattern == 1) return platform::psClear;
  if (Pattern >= 3 && Pattern <= 9) return platform::psDash;
  if (Pattern >= 10 && Pattern <= 13) return platform::psDot;
  if (Pattern >= 14 && Pattern <= 16) return platform::psDashDot;
  if (Pattern >= 20 && Pattern <= 25) return platform::psDashDotDot;
  if (Pattern >= 71 && Pattern <= 77) return platform::psInsideFrame;
  return platform::psSolid;
}

TGlobeBrushStyle MIFBrushStyle(std::int32_t Pattern) {
  static constexpr std::array<TGlobeBrushStyle, 69> kStyles = {
      bsSolid,     bsClear,     bsSolid,      bsHorizontal, bsVertical,  bsBDiagonal, bsFDiagonal,
      bsCross,     bsDiagCross, bsPattern1,   bsPattern32,  bsPattern26, bsPattern29, bsPattern33,
      bsPattern1,  bsPattern35, bsHorizontal, bsPattern3,   bsPattern4,  bsPattern5,  bsPattern6,
      bsVertical,  bsPattern8,  bsPattern9,   bsPattern10,  bsPattern11, bsFDiagonal, bsPattern13,
      bsPattern14, bsPattern15, bsPattern16,  bsBDiagonal,  bsPattern18, bsPattern19, bsPattern20,
      bsPattern21, bsCross,     bsPattern23,  bsPattern24,  bsPattern25, bsPattern26, bsPattern27,
      bsPattern28, bsPattern29, bsPattern30,  bsPattern31,  bsPattern32, bsPattern33, bsPattern34,
      bsPattern35, bsPattern36, bsPattern37,  bsPattern38,  bsPattern39, bsPattern40, bsPattern41,
      bsPattern42, bsPattern43, bsPattern44,  bsPattern45,  bsPattern46, bsPattern47, bsPattern48,
      bsPattern49, bsPattern50, bsPattern46,  bsPattern45,  bsPattern44, bsPattern50,
  };
  if (Pattern < 0 || Pattern >= static_cast<std::int32_t>(kStyles.size())) return bsSolid;
  return kStyles[static_cast<std::size_t>(Pattern)];
}

bool IsReadKind(std::string_view Word) {
  for (const char* k : {"point", "region", "line", "pline", "text"}) {
    if (SameTextAscii(Word, k)) return true;
  }
  return false;
}

// Kinds that are not read but own a MID row each.
bool IsSkippedKind(std::string_view Word) {
  for (const char* k :
       {"none", "arc", "ellipse", "rect", "roundrect", "multipoint", "collection"}) {
    if (SameTextAscii(Word, k)) return true;
  }
  return false;
}

// The share of a text's box that its glyphs take (the rest is room above and below them), as
// writers of MIF files lay out text boxes.
constexpr Extended TEXT_GLYPH_SHARE = 0.69L;
// Average glyph width as a share of the height, for telling a text's height from its width
// where the box cannot.
constexpr Extended GLYPH_WIDTH = 0.6L;

struct TTextPlace {
  Extended Long = 0, Lat = 0;  // the left end of the base line, degrees
  Extended Height = 0;         // of the box the text was laid out in, degrees
};

// A text's box is the bounding box of its line of text turned by Angle degrees (longitude
// and latitude degrees taken as one plane, as the writers do). Solves the line's height and
// its origin from it.
TTextPlace PlaceText(Extended X1, Extended Y1, Extended X2, Extended Y2, Extended Angle,
                     std::size_t Chars) {
  const Extended W = std::fabs(X2 - X1);
  const Extended H = std::fabs(Y2 - Y1);
  const Extended a = Angle * std::numbers::pi_v<Extended> / 180;
  const Extended ca = std::cos(a), sa = std::sin(a);
  const Extended c = std::fabs(ca), s = std::fabs(sa);
  Extended h = H, w = W;
  if (s > 1e-9L) {
    // W = w·c + h·s and H = w·s + h·c.
    const Extended det = c * c - s * s;
    bool solved = false;
    if (std::fabs(det) > 0.2L) {
      h = (H * c - W * s) / det;
      w = (W * c - H * s) / det;
      solved = h > 0 && w >= 0;
    }
    if (!solved) {
      // Near 45 degrees the box does not tell the height from the width.
      const Extended glyphs = GLYPH_WIDTH * static_cast<Extended>(std::max<std::size_t>(Chars, 1));
      h = H / (glyphs * s + c);
      w = glyphs * h;
    }
  }
  // The corners of the turned line relative to its origin; the box starts at the least.
  const std::array<Extended, 4> xs = {0, w * ca, -h * sa, w * ca - h * sa};
  const std::array<Extended, 4> ys = {0, w * sa, h * ca, w * sa + h * ca};
  return {std::min(X1, X2) - *std::min_element(xs.begin(), xs.end()),
          std::min(Y1, Y2) - *std::min_element(ys.begin(), ys.end()), h};
}

// The text's height in metres, or in kilometres where metres do not fit the font record's
// 16 bits; at least 1.
void SetTextHeight(TGlobeFont& Font, Extended Degrees) {
  const Extended metres = Degrees * GU_DEGREE / GUPerUnit(TGlobeUnitTypes::Meter);
  const bool km = metres > std::numeric_limits<std::int16_t>::max();
  const Extended size = std::clamp<Extended>(std::round(km ? metres / 1000 : metres), 1,
                                             std::numeric_limits<std::int16_t>::max());
  Font.SetFontUnit(km ? TGlobeUnitTypes::Kilometer : TGlobeUnitTypes::Meter);
  Font.SetFontSize(static_cast<std::int32_t>(size));
}

std::size_t CodePoints(std::string_view Utf8) {
  std::size_t n = 0;
  for (char c : Utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The Windows code page of a "Charset" name; 0 for the names whose text is read as UTF-8
// when it is valid UTF-8 ("Neutral", "UTF-8", names not listed here).
int CharsetCodePage(std::string_view Name) {
  static constexpr std::pair<std::string_view, int> kCharsets[] = {
      {"WindowsLatin1", 1252}, {"WindowsLatin2", 1250},    {"WindowsCyrillic", 1251},
      {"WindowsGreek", 1253},  {"WindowsTurkish", 1254},   {"WindowsHebrew", 1255},
      {"WindowsArabic", 1256}, {"WindowsBalticRim", 1257}, {"WindowsVietnamese", 1258},
      {"WindowsThai", 874},    {"ISO8859_1", 1252},
  };
  for (const auto& [name, page] : kCharsets) {
    if (SameTextAscii(Name, name)) return page;
  }
  return 0;
}
}  // namespace

TGlobeMIFReader::TGlobeMIFReader(TGlobe4* ParentGlobe) : TGlobeFileReader(ParentGlobe) {}

TGlobeMIFReader::~TGlobeMIFReader() = default;

void TGlobeMIFReader::SetTitleColumn(std::int32_t Value) {
  if (Value == FTitleColumn) return;
  FTitleColumn = Value;
  UnloadObjects();
}

std::string TGlobeMIFReader::MIDField(std::string_view Row, char Delimiter, std::int32_t Column) {
  if (Column < 0) return std::string(Row);
  std::size_t pos = 0;
  for (std::int32_t field = 0;; ++field) {
    std::size_t p = pos;
    while (p < Row.size() && Row[p] == ' ' && Delimiter != ' ') ++p;
    std::string value;
    std::size_t next;  // the delimiter that ends the field, or npos
    if (p < Row.size() && Row[p] == '"') {
      ++p;
      while (p < Row.size()) {
        if (Row[p] == '"') {
          if (p + 1 < Row.size() && Row[p + 1] == '"') {
            value += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        value += Row[p++];
      }
      next = Row.find(Delimiter, p);
    } else {
      next = Row.find(Delimiter, pos);
      value = std::string(
          TrimBlanks(Row.substr(pos, next == std::string_view::npos ? next : next - pos)));
    }
    if (field == Column) return value;
    if (next == std::string_view::npos) return {};
    pos = next + 1;
  }
}

void TGlobeMIFReader::SetCharset(std::string_view Line) {
  // Charset "Name": the name between the quotes, or the bare word.
  const std::string_view line = TrimBlanks(Line);
  std::string_view name = TrimBlanks(line.substr(WordOf(line, 0).size()));
  if (name.size() >= 2 && name.front() == '"') {
    name.remove_prefix(1);
    name = name.substr(0, name.find('"'));
  }
  FMIFCharset = std::string(name);
  FCodePage = CharsetCodePage(name);
}

std::string TGlobeMIFReader::DecodeText(std::string_view Text) const {
  // Files without a code page are mostly UTF-8 nowadays; older ones are Windows-1252, whose
  // text is hardly ever valid UTF-8 as well.
  if (FCodePage == 0 && IsValidUtf8(Text)) return std::string(Text);
  return CodePageToUtf8(Text, FCodePage == 0 ? 1252 : FCodePage);
}

void TGlobeMIFReader::ReadCharset() {
  FMIFReader->SetPosition(0);
  while (NextMIFLine() && !WordIs(0, "Data")) {
    if (WordIs(0, "Charset")) SetCharset(CurrentMIFLine);
  }
}

// ---- Lines and words --------------------------------------------------------------------

bool TGlobeMIFReader::NextMIFLine() {
  std::string line;
  for (;;) {
    FMIFReader->ReadLn(line);
    if (!WordOf(line, 0).empty()) {
      CurrentMIFLine = std::move(line);
      FbMIFLine = true;
      return true;
    }
    if (FMIFReader->EOT()) {
      CurrentMIFLine.clear();
      FbMIFLine = false;
      return false;
    }
  }
}

void TGlobeMIFReader::RequireMIFLine() {
  if (!NextMIFLine()) throw EGlobeException("Unexpected end of the file");
}

std::string_view TGlobeMIFReader::Word(std::size_t i) const { return WordOf(CurrentMIFLine, i); }

bool TGlobeMIFReader::WordIs(std::size_t i, std::string_view Keyword) const {
  return SameTextAscii(Word(i), Keyword);
}

std::int32_t TGlobeMIFReader::WordInt(std::size_t i) const { return StrToInt(Word(i)); }

Extended TGlobeMIFReader::WordDegrees(std::size_t i) const {
  const Extended v = StrToExtended(Word(i));
  if (!std::isfinite(v) || std::fabs(v) > MAX_DEGREES) {
    throw EGlobeException("Invalid coordinate " + std::string(Word(i)));
  }
  return v;
}

TPointLL TGlobeMIFReader::WordPosition(std::size_t iLong, std::size_t iLat) const {
  const Extended lon = StrToExtended(Word(iLong));
  const Extended lat = StrToExtended(Word(iLat));
  if (!std::isfinite(lon) || !std::isfinite(lat) || std::fabs(lon) > MAX_DEGREES ||
      std::fabs(lat) > MAX_DEGREES) {
    throw EGlobeException("Invalid position " + std::string(Word(iLong)) + " " +
                          std::string(Word(iLat)));
  }
  return PointLL(DegToGU(WrapDegrees180(lon)), DegToGU(lat));
}

std::int32_t TGlobeMIFReader::CheckedCount(std::int32_t Count, std::int32_t BytesEach) const {
  // Every counted item takes at least BytesEach bytes of lines; a count beyond what the
  // rest of the file holds would only allocate.
  const std::int64_t left = FMIFReader->Size() - FMIFReader->Position();
  if (Count < 0 || std::int64_t{Count} * BytesEach > left + BytesEach) {
    throw EGlobeException("Invalid count " + std::to_string(Count));
  }
  return Count;
}

// ---- Geometry ---------------------------------------------------------------------------

void TGlobeMIFReader::ReadChainPoints(TChainStore& Chains, std::int32_t Count) {
  TPointStore& chain = Chains.GetChain(Chains.Count());
  chain.SetCount(CheckedCount(Count, 4));
  for (std::int32_t j = 0; j < Count; ++j) {
    RequireMIFLine();
    chain.PutLL(j, WordPosition(0, 1));
  }
}

void TGlobeMIFReader::ReadRegion(TChainStore& Chains) {
  const std::int32_t n = CheckedCount(WordInt(1), 2);
  for (std::int32_t k = 0; k < n; ++k) {
    RequireMIFLine();
    ReadChainPoints(Chains, WordInt(0));
  }
}

void TGlobeMIFReader::ReadPline(TChainStore& Chains) {
  // Files of every version write "Pline n" for one section of n points (n may stand on the
  // next line instead) and "Pline Multiple k" for k sections, each after its point count.
  if (WordIs(1, "Multiple")) {
    const std::int32_t sections = CheckedCount(WordInt(2), 2);
    if (sections == 0) Chains.GetChain(Chains.Count());  // one chain to start with
    for (std::int32_t k = 0; k < sections; ++k) {
      RequireMIFLine();
      ReadChainPoints(Chains, WordInt(0));
    }
    return;
  }
  std::int32_t count = 0;
  if (Word(1).empty()) {
    RequireMIFLine();
    count = WordInt(0);
  } else {
    count = WordInt(1);
  }
  ReadChainPoints(Chains, count);
}

void TGlobeMIFReader::SkipObject() {
  if (WordIs(0, "Collection")) {
    // The parts of a collection start with the keywords of objects that are read; they
    // belong to the collection, not to the objects of the file.
    std::int32_t parts = CheckedCount(WordInt(1), 2);
    TChainStore scratch;
    bool more = NextMIFLine();
    while (more && parts > 0) {
      if (WordIs(0, "Region") || WordIs(0, "Pline") || WordIs(0, "Multipoint")) {
        if (WordIs(0, "Region")) {
          ReadRegion(scratch);
        } else if (WordIs(0, "Pline")) {
          ReadPline(scratch);
        } else {
          const std::int32_t n = CheckedCount(WordInt(1), 4);
          for (std::int32_t j = 0; j < n; ++j) RequireMIFLine();
        }
        scratch.SetCount(0);
        --parts;
        more = NextMIFLine();
      } else if (WordIs(0, "Pen") || WordIs(0, "Brush") || WordIs(0, "Center") ||
                 WordIs(0, "Symbol") || WordIs(0, "Smooth")) {
        more = NextMIFLine();
      } else {
        break;
      }
    }
    return;
  }
  NextMIFLine();
}

// ---- Style clauses ----------------------------------------------------------------------

std::vector<std::string> TGlobeMIFReader::ClauseArguments() const {
  std::string_view args = Word(1);
  if (!args.empty() && args.front() == '(') args.remove_prefix(1);
  if (!args.empty() && args.back() == ')') args.remove_suffix(1);
  return SplitAt(args, ',');
}

void TGlobeMIFReader::ParsePen() {
  const std::vector<std::string> args = ClauseArguments();
  if (args.size() < 3) ListIndexError(args.size());
  std::int32_t width = 1;
  try {
    width = StrToInt(args[0]);
  } catch (const EConvertError&) {
    width = 1;
  }
  const std::int32_t pattern = StrToInt(args[1]);
  const std::int32_t color = StrToInt(args[2]);
  aPen->Define(MIFColor(color), MIFPenStyle(pattern), width, TGlobeUnitTypes::Pixel);
  NextMIFLine();
}

void TGlobeMIFReader::ParseBrush() {
  const std::vector<std::string> args = ClauseArguments();
  if (args.size() < 2) ListIndexError(args.size());
  aBrush->SetBrushStyle(MIFBrushStyle(StrToInt(args[0])));
  aBrush->SetBrushColor(MIFColor(StrToInt(args[1])));
  if (args.size() > 2) aBrush->SetBrushBkColor(MIFColor(StrToInt(args[2])));
  NextMIFLine();
}

void TGlobeMIFReader::ParseFont() {
  // Font ("name",style,size,color): the keyword, a blank and the parenthesis, then the
  // arguments up to the closing parenthesis. A text's size comes from its box instead.
  const std::string_view line = TrimBlanks(CurrentMIFLine);
  if (line.size() < 7) ListIndexError(0);
  const std::vector<std::string> parts = SplitAt(line.substr(6, line.size() - 7), ',');
  if (parts.size() < 4) ListIndexError(parts.size());
  (void)StrToInt(parts[2]);
  aTitleFont->SetFontName(DecodeText(Without(parts[0], '"')));
  aTitleFont->SetFontStyle({});
  aTitleFont->SetFontColor(MIFColor(StrToInt(parts[3])));
  NextMIFLine();
}

// ---- Presenters -------------------------------------------------------------------------

std::int32_t TGlobeMIFReader::PointPresenterID() {
  const std::int32_t id =
      TPointPresenter::FindMatch(Presenters(), aPen.get(), aBrush.get(), aFont.get(), nullptr,
                                 ppCircle, TGlobeUnitTypes::Pixel, 6, "");
  if (id != 0) return id;
  auto presenter = std::make_unique<TPointPresenter>(&Globe(), 0);
  presenter->SetPointType(ppCircle);
  presenter->SetPointUnit(TGlobeUnitTypes::Pixel);
  presenter->SetPointSize(6);
  presenter->PointPen().Assign(*aPen);
  presenter->PointBrush().Assign(*aBrush);
  presenter->PointFont().Assign(*aFont);
  presenter->TitleFont().Assign(*aTitleFont);
  return Presenters().Add(std::move(presenter));
}

std::int32_t TGlobeMIFReader::TextPresenterID() {
  // A text is its title alone, drawn from the left end of its base line; no symbol marks the
  // place, and the type keeps point objects from sharing the presenter.
  const std::int32_t id =
      TPointPresenter::FindMatch(Presenters(), aPen.get(), aBrush.get(), aFont.get(),
                                 aTitleFont.get(), ppNone, TGlobeUnitTypes::Pixel, 6, "");
  if (id != 0) return id;
  auto presenter = std::make_unique<TPointPresenter>(&Globe(), 0);
  presenter->SetPointType(ppNone);
  presenter->SetPointUnit(TGlobeUnitTypes::Pixel);
  presenter->SetPointSize(6);
  presenter->PointPen().Assign(*aPen);
  presenter->PointBrush().Assign(*aBrush);
  presenter->PointFont().Assign(*aFont);
  presenter->TitleFont().Assign(*aTitleFont);
  presenter->SetTitleAlignment(taRight);
  presenter->SetTitleOffset(0);
  return Presenters().Add(std::move(presenter));
}

std::int32_t TGlobeMIFReader::PolyPresenterID(bool bPolygon) {
  const TGlobeClass& wanted =
      bPolygon ? TPolygonPresenter::StaticClass() : TPolylinePresenter::StaticClass();
  auto fits = [&](const TGlobePresenter* p) {
    if (p == nullptr || &p->ClassType() != &wanted) return false;
    const auto& poly = static_cast<const TPolyPresenter&>(*p);
    return poly.PolyPen().Equals(*aPen) && poly.PolyBrush().Equals(*aBrush);
  };
  // The match may be of the other poly class, which would draw the object open or closed
  // against its kind; then the first one of the right class is looked for.
  const std::int32_t id =
      TPolyPresenter::FindMatch(Presenters(), aPen.get(), aBrush.get(), nullptr);
  if (id != 0) {
    if (fits(Presenters().ByID(id, false))) return id;
    for (std::int32_t i = 0; i < Presenters().Count(); ++i) {
      const TGlobePresenter& p = Presenters().GetPresenter(i);
      if (fits(&p)) return p.PresenterID();
    }
  }
  std::unique_ptr<TPolyPresenter> presenter;
  if (bPolygon) {
    presenter = std::make_unique<TPolygonPresenter>(&Globe(), 0);
  } else {
    presenter = std::make_unique<TPolylinePresenter>(&Globe(), 0);
  }
  presenter->PolyPen().Assign(*aPen);
  presenter->PolyBrush().Assign(*aBrush);
  return Presenters().Add(std::move(presenter));
}

// ---- Opening and closing ----------------------------------------------------------------

bool TGlobeMIFReader::OpenSource() {
  std::error_code ec;
  if (FFileName.empty() || !std::filesystem::is_regular_file(platform::FsPath(FFileName), ec)) {
    return false;
  }
  try {
    aPen = std::make_unique<TGlobePen>();
    aBrush = std::make_unique<TGlobeBrush>();
    aFont = std::make_unique<TGlobeFont>();
    aTitleFont = std::make_unique<TGlobeFont>();
    SetName(platform::Utf8Path(platform::FsPath(FFileName).filename()));
    LoadMetaData();
    FMIFReader = std::make_unique<TGlobeTextReader>(FFileName);
    if (FMIFReader->Size() > MAX_OFFSET) {
      throw EGlobeException(FFileName + " is larger than the 2 GB that the index can hold");
    }
    const std::string mid = CompanionFile(FFileName, ".mid");
    // An empty MID file (a file without objects) cannot be mapped, and holds no rows.
    if (!mid.empty() && std::filesystem::file_size(platform::FsPath(mid), ec) > 0) {
      FMIDReader = std::make_unique<TGlobeTextReader>(mid);
      if (FMIDReader->Size() > MAX_OFFSET) {
        throw EGlobeException(mid + " is larger than the 2 GB that the index can hold");
      }
    }
    FMIFCharset.clear();
    FCodePage = 0;
    if (FDataItems.empty()) {
      MapDataFile(FMIFReader->DataStream());
      if (Globe().SaveMetaDataLocation() != smdDiscard) SaveMetaData();
    } else {
      ReadCharset();
    }
  } catch (...) {
    ReleaseFiles();
    throw;
  }
  return inherited::OpenSource();
}

bool TGlobeMIFReader::CloseSource() {
  SaveMetaData();
  ReleaseFiles();
  return inherited::CloseSource();
}

void TGlobeMIFReader::ReleaseFiles() {
  SetCount(0);
  FDataItems.clear();
  FMIDColumnNames.clear();
  FMIFReader.reset();
  FMIDReader.reset();
  FbMIFLine = false;
  CurrentMIFLine.clear();
  CurrentMIDLine.clear();
  aPen.reset();
  aBrush.reset();
  aFont.reset();
  aTitleFont.reset();
}

// ---- Mapping ----------------------------------------------------------------------------

bool TGlobeMIFReader::ReadHeader(TGlobeStream&) {
  FMIDDelimiter = "\t";
  FMIFReader->SetTextBufferSize(16384);
  FMIFReader->SetPosition(0);
  FMIDColumnNames.clear();
  FMIFCoordSys.clear();
  FMIFCharset.clear();
  FCodePage = 0;
  bool data = false;
  try {
    bool columns = false;
    while (NextMIFLine()) {
      if (WordIs(0, "Data")) {
        data = true;
        break;
      }
      if (columns) {
        FMIDColumnNames.push_back(DecodeText(Word(0)) + "=" + DecodeText(Word(1)));
      } else if (WordIs(0, "Version")) {
        iMIFVersion = WordInt(1);
      } else if (WordIs(0, "Charset")) {
        SetCharset(CurrentMIFLine);
      } else if (WordIs(0, "Delimiter")) {
        // The character between the quotes, which may itself be a blank.
        const std::size_t quote = CurrentMIFLine.find('"');
        if (quote != std::string::npos && quote + 1 < CurrentMIFLine.size()) {
          FMIDDelimiter = AnsiToUtf8(std::string_view(CurrentMIFLine).substr(quote + 1, 1));
        }
      } else if (WordIs(0, "CoordSys")) {
        FMIFCoordSys = AnsiToUtf8(CurrentMIFLine);
      } else if (WordIs(0, "Columns")) {
        columns = true;
      }
    }
  } catch (const EGlobeException& e) {
    throw EGlobeException(std::string(e.what()) + " in " + FFileName);
  } catch (const EConvertError& e) {
    throw EGlobeException(std::string(e.what()) + " in " + FFileName);
  }
  // Without it the file was cut short, or is no MIF file at all; its objects are unknown.
  if (!data) throw EGlobeException(FFileName + " ends before the \"Data\" line of a MIF file");
  // Longitude/latitude is "Earth Projection 1," followed by the datum; a file without a
  // coordinate system is in longitude/latitude by the format's definition.
  if (!FMIFCoordSys.empty()) {
    const std::string_view projection = WordOf(FMIFCoordSys, 3);
    if (!SameTextAscii(WordOf(FMIFCoordSys, 1), "Earth") ||
        !SameTextAscii(WordOf(FMIFCoordSys, 2), "Projection") || projection.substr(0, 2) != "1,") {
      throw EGlobeException("MIF Import only supports Lat/Long tables.");
    }
  }
  FDataItems.clear();
  return true;
}

bool TGlobeMIFReader::MapNextObject(TGlobeStream&, std::int32_t iIndex) {
  try {
    for (;;) {
      // A keyword line read last is examined even when the text ended with it.
      if (!FbMIFLine) return false;
      if (IsReadKind(Word(0))) break;
      if (IsSkippedKind(Word(0))) {
        // Its MID row is passed over with it, so that later objects keep their own rows.
        if (FMIDReader && FMIDReader->Position() < FMIDReader->Size()) {
          FMIDReader->ReadLn(CurrentMIDLine);
        }
        SkipObject();
        continue;
      }
      NextMIFLine();
    }
  } catch (const EGlobeException& e) {
    throw EGlobeException(std::string(e.what()) + " in " + FFileName + " at offset " +
                          std::to_string(FMIFReader->LineStartPosition()));
  } catch (const EConvertError& e) {
    throw EGlobeException(std::string(e.what()) + " in " + FFileName + " at offset " +
                          std::to_string(FMIFReader->LineStartPosition()));
  }
  if (static_cast<std::size_t>(iIndex) >= FDataItems.size()) {
    FDataItems.resize(static_cast<std::size_t>(iIndex) + 64);
  }
  TDataItem& item = FDataItems[static_cast<std::size_t>(iIndex)];
  item.MIFPosition = static_cast<std::int32_t>(FMIFReader->LineStartPosition());
  item.MIDPosition = FMIDReader ? static_cast<std::int32_t>(FMIDReader->Position()) : 0;
  if (FMIDReader && FMIDReader->Position() < FMIDReader->Size()) {
    FMIDReader->ReadLn(CurrentMIDLine);
  }
  return true;
}

// ---- Loading ----------------------------------------------------------------------------

std::unique_ptr<TGlobeObject> TGlobeMIFReader::LoadObject(std::int32_t iIndex, bool bNewObject) {
  if (!FMIFReader) throw EGlobeException("MIF file " + FFileName + " is not open");
  if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= FDataItems.size()) {
    throw EGlobeException("No line offset for object " + std::to_string(iIndex) + " in " +
                          FFileName);
  }
  const TDataItem item = FDataItems[static_cast<std::size_t>(iIndex)];
  FMIFReader->SetPosition(item.MIFPosition);
  if (!NextMIFLine()) {
    throw EGlobeException("TGlobeReader returned nil object: no object at offset " +
                          std::to_string(item.MIFPosition) + " in " + FFileName);
  }
  const std::int64_t lineStart = FMIFReader->LineStartPosition();
  bool hasRow = false;
  if (FMIDReader) {
    FMIDReader->SetPosition(item.MIDPosition);
    if (FMIDReader->Position() < FMIDReader->Size()) {
      FMIDReader->ReadLn(CurrentMIDLine);
      hasRow = true;
    }
  }
  auto rowTitle = [&](const char* Default) -> std::string {
    if (!hasRow) return Default;
    const std::string delimiter = Utf8ToAnsi(FMIDDelimiter);
    return DecodeText(
        MIDField(CurrentMIDLine, delimiter.empty() ? '\t' : delimiter.front(), FTitleColumn));
  };

  auto obj = std::make_unique<TGeoDataObject>(this);
  try {
    if (WordIs(0, "point")) {
      obj->SetCentroid(WordPosition(1, 2));
      obj->SetTitle(rowTitle(""));
      if (bNewObject) {
        NextMIFLine();  // the symbol clause, which has no presenter of its own
        obj->FPresenterID = PointPresenterID();
      }
    } else if (WordIs(0, "region")) {
      ReadRegion(obj->Chains());
      obj->ObjectState.Include(osClosed);
      obj->SetTitle(rowTitle("New Polygon"));
      if (bNewObject) {
        bool more = NextMIFLine();
        while (more) {
          if (WordIs(0, "Pen")) {
            ParsePen();
          } else if (WordIs(0, "Brush")) {
            ParseBrush();
          } else if (WordIs(0, "Center")) {
            NextMIFLine();
          } else {
            break;
          }
          more = FbMIFLine;
        }
        obj->FPresenterID = PolyPresenterID(true);
      }
    } else if (WordIs(0, "line")) {
      TPointStore& chain = obj->Chains().GetChain(0);
      chain.SetCount(2);
      chain.PutLL(0, WordPosition(1, 2));
      chain.PutLL(1, WordPosition(3, 4));
      obj->SetTitle(rowTitle("New Polyline"));
      if (bNewObject) {
        if (NextMIFLine() && WordIs(0, "Pen")) ParsePen();
        obj->FPresenterID = PolyPresenterID(false);
      }
    } else if (WordIs(0, "pline")) {
      ReadPline(obj->Chains());
      obj->SetTitle(rowTitle("New Polyline"));
      if (bNewObject) {
        bool more = NextMIFLine();
        while (more) {
          if (WordIs(0, "Pen")) {
            ParsePen();
          } else if (WordIs(0, "Smooth")) {
            NextMIFLine();
          } else {
            break;
          }
          more = FbMIFLine;
        }
        aBrush->SetBrushColor(0);
        aBrush->SetBrushStyle(bsSolid);
        obj->FPresenterID = PolyPresenterID(false);
      }
    } else if (WordIs(0, "text")) {
      // The text on the line after the keyword, or on the keyword line itself.
      std::string text;
      if (Word(1).empty()) {
        RequireMIFLine();
        text = std::string(TrimBlanks(CurrentMIFLine));
      } else {
        const std::string_view line = TrimBlanks(CurrentMIFLine);
        text = std::string(TrimBlanks(line.substr(Word(0).size())));
      }
      text = Without(text, '"');
      for (std::size_t p = text.find("\\n"); p != std::string::npos; p = text.find("\\n", p)) {
        text.replace(p, 2, " ");
      }
      RequireMIFLine();
      const std::string box(TrimBlanks(CurrentMIFLine));
      const Extended x1 = WordDegrees(0), y1 = WordDegrees(1);
      const Extended x2 = WordDegrees(2), y2 = WordDegrees(3);
      // The clauses after the box; the angle places the text, the font only draws it.
      Extended angle = 0;
      bool more = NextMIFLine();
      while (more) {
        if (WordIs(0, "Font") && bNewObject) {
          ParseFont();
        } else if (WordIs(0, "Angle")) {
          angle = StrToExtended(Word(1));
          if (!std::isfinite(angle) || std::fabs(angle) > MAX_ANGLE) {
            throw EGlobeException("Invalid angle " + std::string(Word(1)));
          }
          // The font record keeps tenths of a degree in 16 bits.
          angle = std::fmod(angle, 360);
          NextMIFLine();
        } else if (WordIs(0, "Font") || WordIs(0, "Spacing") || WordIs(0, "Justify") ||
                   WordIs(0, "Label")) {
          NextMIFLine();
        } else {
          break;
        }
        more = FbMIFLine;
      }
      const std::string title = DecodeText(text);
      const TTextPlace place = PlaceText(x1, y1, x2, y2, angle, CodePoints(title));
      if (std::fabs(place.Long) > MAX_DEGREES || std::fabs(place.Lat) > MAX_DEGREES) {
        throw EGlobeException("Invalid text box " + box);
      }
      obj->SetCentroid(PointLL(DegToGU(WrapDegrees180(place.Long)), DegToGU(place.Lat)));
      obj->SetTitle(title);
      if (bNewObject) {
        SetTextHeight(*aTitleFont, place.Height * TEXT_GLYPH_SHARE);
        aTitleFont->SetFontAngle(static_cast<std::int32_t>(RoundHalfEven(angle) * 10));
        aPen->Define(0, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
        aBrush->SetBrushColor(0);
        aBrush->SetBrushStyle(bsSolid);
        aFont->Define("Arial", 0, 9, TGlobeUnitTypes::Pixel, 0, {});
        obj->FPresenterID = TextPresenterID();
      }
    } else {
      throw EGlobeException("TGlobeReader returned nil object: no object kind " +
                            std::string(Word(0)));
    }
  } catch (const EGlobeException& e) {
    throw EGlobeException(std::string(e.what()) + " in " + FFileName + " (object at offset " +
                          std::to_string(lineStart) + ")");
  } catch (const EConvertError& e) {
    throw EGlobeException(std::string(e.what()) + " in " + FFileName + " (object at offset " +
                          std::to_string(lineStart) + ")");
  }
  return obj;
}

// ---- Metadata ---------------------------------------------------------------------------

void TGlobeMIFReader::SaveMetaData() {
  const std::string name = MetaDataFilename(FFileName);
  std::error_code ec;
  if (name.empty() || std::filesystem::exists(platform::FsPath(name), ec)) return;
  TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
  writer.WriteWord(METADATA_MARK);
  WriteMetaData(writer);
  writer.WriteInteger(iMIFVersion);
  writer.WriteInteger(FTitleColumn);
  writer.WriteShortText(FMIDDelimiter);
  writer.WriteShortText(FMIFCoordSys);
  writer.WriteInteger(static_cast<std::int32_t>(FMIDColumnNames.size()));
  for (const std::string& column : FMIDColumnNames) writer.WriteShortText(column);
  writer.WriteInteger(static_cast<std::int32_t>(FDataItems.size()));
  for (const TDataItem& item : FDataItems) {
    writer.WriteInteger(item.MIFPosition);
    writer.WriteInteger(item.MIDPosition);
  }
  WriteMetaDataFile(static_cast<TGlobeMemoryStream&>(writer.DataStream()).Bytes());
}

void TGlobeMIFReader::LoadMetaData() {
  const bool loaded = LoadMetaDataWith([&](TGlobeStreamReader& reader) {
    const std::int32_t version = reader.ReadInteger();
    const std::int32_t titleColumn = reader.ReadInteger();
    std::string delimiter = reader.ReadShortText();
    std::string coordSys = reader.ReadShortText();
    const std::int32_t columnCount = reader.ReadInteger();
    if (columnCount < 0 || columnCount > reader.Remaining()) {
      throw EGlobeException("Invalid column count");
    }
    std::vector<std::string> columns(static_cast<std::size_t>(columnCount));
    for (std::string& column : columns) column = reader.ReadShortText();
    const std::int32_t count = reader.ReadInteger();
    if (count < Count() || std::int64_t{count} * 8 > reader.Remaining()) {
      throw EGlobeException("Invalid item count");
    }
    std::vector<TDataItem> items(static_cast<std::size_t>(count));
    for (TDataItem& item : items) {
      item.MIFPosition = reader.ReadInteger();
      item.MIDPosition = reader.ReadInteger();
    }
    if (reader.Truncated()) throw EGlobeException("Truncated metadata");
    iMIFVersion = version;
    FTitleColumn = titleColumn;
    FMIDDelimiter = std::move(delimiter);
    FMIFCoordSys = std::move(coordSys);
    FMIDColumnNames = std::move(columns);
    FDataItems = std::move(items);
  });
  if (!loaded) FDataItems.clear();
}

// ---- Environment ------------------------------------------------------------------------

void TGlobeMIFReader::LoadEnvironment(const TGXML_Element* Element) {
  inherited::LoadEnvironment(Element);
  if (Element != nullptr) {
    FMIFCoordSys = Element->AttributeByName("MIFCoordSys", FMIFCoordSys);
    FMIDDelimiter = Element->AttributeByName("MIDDelimiter", FMIDDelimiter);
    SetTitleColumn(Element->IntAttributeByName("TitleColumn", 0));
  }
  SetActive(true);
}

std::unique_ptr<TGXML_Element> TGlobeMIFReader::SaveEnvironment() {
  std::unique_ptr<TGXML_Element> element = inherited::SaveEnvironment();
  if (!element) element = std::make_unique<TGXML_Element>();
  element->AddAttribute("MIFCoordSys", FMIFCoordSys);
  element->AddAttribute("MIDDelimiter", FMIDDelimiter);
  element->AddIntAttribute("TitleColumn", FTitleColumn);
  return element;
}

void RegisterMIFReader() { RegisterGlobeClass<TGlobeMIFReader>(); }

}  // namespace globe
