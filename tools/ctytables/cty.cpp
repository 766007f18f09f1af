#include "tools/ctytables/cty.h"

#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

namespace orvane::ctytables {

namespace {

// Longest callsign or prefix accepted; the real file's longest is 21 characters.
constexpr std::size_t kMaxAliasLength = 64;

bool IsCallChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Reads the text from the top and keeps the line number for the messages.
class TCtyParser {
 public:
  TCtyParser(std::string_view Text, const std::string& FileName)
      : FText(Text), FFileName(FileName) {}

  std::vector<TCtyEntity> Parse() {
    std::vector<TCtyEntity> entities;
    for (;;) {
      SkipBlanks();
      if (FPos >= FText.size()) break;
      TCtyEntity e = ParseHeader();
      ParseAliases(e);
      entities.push_back(std::move(e));
    }
    return entities;
  }

 private:
  [[noreturn]] void Fail(const std::string& Message) const {
    throw ECtyError(FFileName + ":" + std::to_string(FLine) + ": " + Message);
  }

  void SkipBlanks() {
    while (FPos < FText.size() && IsBlank(FText[FPos])) {
      if (FText[FPos] == '\n') ++FLine;
      ++FPos;
    }
  }

  template <class T>
  T Number(std::string_view s, T Low, T High, const char* What) const {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    T v{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
      Fail(std::string("bad ") + What + " '" + std::string(s) + "'");
    }
    if constexpr (std::is_floating_point_v<T>) {
      if (!std::isfinite(v)) Fail(std::string("bad ") + What + " '" + std::string(s) + "'");
    }
    if (v < Low || v > High) Fail(std::string(What) + " out of range: " + std::string(s));
    return v;
  }

  // "Name: CQ: ITU: Cont: Lat: Lon: UTCoff: Prefix:" on one line; the list may follow.
  TCtyEntity ParseHeader() {
    std::vector<std::string_view> fields;
    std::size_t start = FPos;
    while (fields.size() < 8 && FPos < FText.size() && FText[FPos] != '\n') {
      if (FText[FPos] == ':') {
        fields.push_back(Trim(FText.substr(start, FPos - start)));
        start = FPos + 1;
      }
      ++FPos;
    }
    if (fields.size() != 8) Fail("an entity line needs eight fields each ended by ':'");
    TCtyEntity e;
    e.Name = std::string(fields[0]);
    if (e.Name.empty()) Fail("entity without a name");
    e.CqZone = Number<int>(fields[1], 1, 40, "CQ zone");
    e.ItuZone = Number<int>(fields[2], 1, 90, "ITU zone");
    e.Continent = std::string(fields[3]);
    if (e.Continent.size() != 2) Fail("bad continent '" + e.Continent + "'");
    e.Position.Latitude = Number<double>(fields[4], -90.0, 90.0, "latitude");
    e.Position.Longitude = -Number<double>(fields[5], -180.0, 180.0, "longitude");
    e.UtcOffset = Number<double>(fields[6], -24.0, 24.0, "UTC offset");
    std::string_view prefix = fields[7];
    if (!prefix.empty() && prefix.front() == '*') {
      e.Wae = true;
      prefix.remove_prefix(1);
    }
    if (prefix.empty()) Fail("entity '" + e.Name + "' without a primary prefix");
    e.PrimaryPrefix = std::string(prefix);
    return e;
  }

  // Comma-separated prefixes and "=" callsigns up to ";", over as many lines as it takes.
  void ParseAliases(TCtyEntity& e) {
    for (;;) {
      SkipBlanks();
      const std::size_t begin = FPos;
      while (FPos < FText.size() && FText[FPos] != ',' && FText[FPos] != ';') {
        if (FText[FPos] == '\n') Fail("prefix list of '" + e.Name + "' broken inside an entry");
        ++FPos;
      }
      if (FPos >= FText.size()) Fail("prefix list of '" + e.Name + "' not ended by ';'");
      ParseAlias(Trim(FText.substr(begin, FPos - begin)), e);
      if (FText[FPos++] == ';') return;
    }
  }

  static std::string_view Enclosed(std::string_view& s, char Close) {
    const std::size_t end = s.find(Close, 1);
    if (end == std::string_view::npos) return {};
    const std::string_view inner = s.substr(1, end - 1);
    s.remove_prefix(end + 1);
    return inner;
  }

  void ParseAlias(std::string_view s, TCtyEntity& e) {
    if (s.empty()) Fail("empty entry in the prefix list of '" + e.Name + "'");
    const std::string whole(s);
    const bool exact = s.front() == '=';
    if (exact) s.remove_prefix(1);
    TCtyAlias a;
    std::size_t n = 0;
    while (n < s.size() && IsCallChar(s[n])) ++n;
    if (n == 0) Fail("entry '" + whole + "' has no callsign or prefix");
    if (n > kMaxAliasLength) Fail("entry '" + whole.substr(0, 20) + "...' is too long");
    a.Text = std::string(s.substr(0, n));
    s.remove_prefix(n);
    while (!s.empty()) {
      const char open = s.front();
      const char close = open == '('   ? ')'
                         : open == '[' ? ']'
                         : open == '<' ? '>'
                         : open == '{' ? '}'
                         : open == '~' ? '~'
                                       : '\0';
      if (close == '\0') Fail("unexpected '" + std::string(1, open) + "' in entry '" + whole + "'");
      const std::string_view inner = Enclosed(s, close);
      if (inner.empty()) Fail("override not closed or empty in entry '" + whole + "'");
      switch (open) {
        case '(':
          a.CqZone = Number<int>(inner, 1, 40, "CQ zone");
          break;
        case '[':
          a.ItuZone = Number<int>(inner, 1, 90, "ITU zone");
          break;
        case '<': {
          const std::size_t slash = inner.find('/');
          if (slash == std::string_view::npos)
            Fail("position needs lat/lon in entry '" + whole + "'");
          a.Position =
              TCtyPosition{Number<double>(inner.substr(0, slash), -90.0, 90.0, "latitude"),
                           -Number<double>(inner.substr(slash + 1), -180.0, 180.0, "longitude")};
          break;
        }
        case '{':
          if (inner.size() != 2) Fail("bad continent in entry '" + whole + "'");
          a.Continent = std::string(inner);
          break;
        default:
          a.UtcOffset = Number<double>(inner, -24.0, 24.0, "UTC offset");
          break;
      }
    }
    (exact ? e.ExactCalls : e.Prefixes).push_back(std::move(a));
  }

  std::string_view FText;
  const std::string& FFileName;
  std::size_t FPos = 0;
  std::size_t FLine = 1;
};

std::string DegreesText(double Value, char Positive, char Negative) {
  // Two decimals, as the country file gives them, whatever the locale; never "-0.00".
  const double rounded = std::round(Value * 100.0) / 100.0;
  char buf[32];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, std::fabs(rounded), std::chars_format::fixed, 2);
  if (ec != std::errc()) throw std::out_of_range("degrees out of range");
  return std::string(buf, end) + (rounded < 0 ? Negative : Positive);
}

// A set of strings as a compact alternation, sharing leading characters. The strings are
// matched as beginnings, so a member that begins another member stands for both.
struct TTrieNode {
  std::map<char, TTrieNode> Children;
  bool Terminal = false;
};

std::string CharClass(const std::string& Chars) {
  if (Chars.size() == 1) return Chars;
  std::string out = "[";
  for (std::size_t i = 0; i < Chars.size();) {
    std::size_t j = i;
    while (j + 1 < Chars.size() && Chars[j + 1] == Chars[j] + 1) ++j;
    if (j - i >= 2) {
      out += Chars[i];
      out += '-';
      out += Chars[j];
    } else {
      for (std::size_t k = i; k <= j; ++k) out += Chars[k];
    }
    i = j + 1;
  }
  return out + "]";
}

std::string Render(const TTrieNode& Node) {
  std::string singles;
  std::vector<std::string> parts;
  for (const auto& [c, child] : Node.Children) {
    if (child.Terminal || child.Children.empty()) {
      singles += c;
    } else {
      parts.push_back(std::string(1, c) + Render(child));
    }
  }
  if (!singles.empty()) parts.insert(parts.begin(), CharClass(singles));
  if (parts.size() == 1) return parts.front();
  std::string out = "(?:";
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "|" : "") + parts[i];
  return out + ")";
}

std::string Alternation(const std::vector<std::string>& Members) {
  TTrieNode root;
  for (const std::string& m : Members) {
    TTrieNode* n = &root;
    for (const char c : m) n = &n->Children[c];
    n->Terminal = true;
  }
  return Render(root);
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

std::vector<TCtyEntity> ParseCty(std::string_view Text, const std::string& FileName) {
  return TCtyParser(Text, FileName).Parse();
}

std::vector<TCtyEntity> ReadCtyFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw ECtyError(FileName + ": cannot be opened");
  std::string text;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxCtyFileSize)
      throw ECtyError(FileName + ": larger than a country file can be");
  }
  if (in.bad()) throw ECtyError(FileName + ": cannot be read");
  return ParseCty(text, FileName);
}

std::string LatitudeText(double Latitude) { return DegreesText(Latitude, 'N', 'S'); }
std::string LongitudeText(double Longitude) { return DegreesText(Longitude, 'E', 'W'); }

std::vector<std::string> OwnerPatternBodies(const std::vector<TOwnedPrefix>& Prefixes,
                                            int OwnerCount) {
  std::map<std::string, int, std::less<>> owners;
  for (const TOwnedPrefix& p : Prefixes) owners.emplace(p.Prefix, p.Owner);

  std::vector<std::vector<std::string>> plain(static_cast<std::size_t>(OwnerCount));
  std::vector<std::vector<std::string>> guarded(static_cast<std::size_t>(OwnerCount));
  for (const auto& [prefix, owner] : owners) {
    if (prefix.empty() || owner < 0 || owner >= OwnerCount) continue;
    // Under a shorter prefix of the same owner nothing is gained: that one's own
    // exclusions already cover every callsign this one would take.
    int ancestor = -1;
    for (std::size_t len = prefix.size() - 1; len > 0 && ancestor < 0; --len) {
      const auto it = owners.find(std::string_view(prefix).substr(0, len));
      if (it != owners.end()) ancestor = it->second;
    }
    if (ancestor == owner) continue;
    // The longer prefixes of other owners nearest to this one; everything below them is
    // theirs (or comes back as a prefix of its own).
    std::vector<std::string> excluded;
    std::string_view blocked;
    for (auto it = std::next(owners.find(prefix));
         it != owners.end() && StartsWith(it->first, prefix); ++it) {
      if (!blocked.empty() && StartsWith(it->first, blocked)) continue;
      if (it->second != owner) {
        excluded.push_back(it->first.substr(prefix.size()));
        blocked = it->first;
      }
    }
    if (excluded.empty()) {
      plain[static_cast<std::size_t>(owner)].push_back(prefix);
    } else {
      guarded[static_cast<std::size_t>(owner)].push_back(prefix + "(?!" + Alternation(excluded) +
                                                         ")");
    }
  }

  std::vector<std::string> bodies(static_cast<std::size_t>(OwnerCount));
  for (std::size_t k = 0; k < bodies.size(); ++k) {
    std::string& b = bodies[k];
    if (!plain[k].empty()) b = Alternation(plain[k]);
    for (const std::string& g : guarded[k]) b += (b.empty() ? "" : "|") + g;
  }
  return bodies;
}

std::string WholeCallPattern(std::string_view Body) {
  return "^(?:" + std::string(Body) + ")[A-Z0-9/]*$";
}

std::size_t TTable::Column(std::string_view Name) const {
  const auto it = std::find(Columns.begin(), Columns.end(), Name);
  if (it == Columns.end()) throw std::out_of_range("no column '" + std::string(Name) + "'");
  return static_cast<std::size_t>(it - Columns.begin());
}

std::string ReducedCallsign(std::string_view Callsign) {
  const std::size_t slash = Callsign.find('/');
  if (slash == std::string_view::npos) return std::string(Callsign);
  const auto beginsWithAny = [](std::string_view s, std::string_view chars) {
    return !s.empty() && chars.find(s.front()) != std::string_view::npos;
  };
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (slash < 4) {
    // Prefix form: the piece before the first "/" (after any leading ones), if it is a
    // foreign prefix.
    std::size_t b = 0;
    while (b < Callsign.size() && Callsign[b] == '/') ++b;
    std::size_t e = Callsign.find('/', b);
    std::string s(
        Trim(Callsign.substr(b, e == std::string_view::npos ? std::string_view::npos : e - b)));
    for (char& c : s) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (s.empty() || isDigit(s.front()) || beginsWithAny(s, "AMP") || s == "MM" || s == "AM" ||
        s == "QRP") {
      return std::string(Callsign);
    }
    return s;
  }
  const std::string_view suffix = Callsign.substr(slash + 1);
  if (suffix.empty()) return std::string(Callsign.substr(0, slash));
  if (isDigit(suffix.front())) {
    std::size_t k = 1;
    while (k < Callsign.size() && !isDigit(Callsign[k])) ++k;
    return std::string(Callsign.substr(0, k)) + std::string(suffix);
  }
  if (beginsWithAny(suffix, "AMP")) return std::string(Callsign);
  if (suffix == "MM" || suffix == "AM" || suffix == "QRP")
    return std::string(Callsign.substr(0, slash));
  return std::string(Callsign);
}

TPrefixIndex::TPrefixIndex(const std::vector<TCtyEntity>& Entities, bool WithWae) {
  for (std::size_t i = 0; i < Entities.size(); ++i) {
    if (Entities[i].Wae && !WithWae) continue;
    for (const TCtyAlias& p : Entities[i].Prefixes) {
      FPrefixes.emplace(p.Text, std::pair<const int, const TCtyAlias*>(static_cast<int>(i), &p));
    }
  }
}

const std::pair<const int, const TCtyAlias*>* TPrefixIndex::Longest(
    std::string_view Callsign) const {
  for (std::size_t len = Callsign.size(); len > 0; --len) {
    const auto it = FPrefixes.find(Callsign.substr(0, len));
    if (it != FPrefixes.end()) return &it->second;
  }
  return nullptr;
}

int TPrefixIndex::Find(std::string_view Callsign) const {
  const auto* p = Longest(Callsign);
  return p ? p->first : -1;
}

const TCtyAlias* TPrefixIndex::FindPrefix(std::string_view Callsign) const {
  const auto* p = Longest(Callsign);
  return p ? p->second : nullptr;
}

TReferenceTables BuildTables(const std::vector<TCtyEntity>& Entities,
                             const std::vector<TCallArea>& CallAreas,
                             const TBuildOptions& Options) {
  const int count = static_cast<int>(Entities.size());

  // Entities: the DXCC entities alone decide, so that a WAE region's prefixes fall back to
  // the entity around it.
  std::vector<TOwnedPrefix> dxccPrefixes;
  for (int i = 0; i < count; ++i) {
    if (Entities[static_cast<std::size_t>(i)].Wae) continue;
    for (const TCtyAlias& p : Entities[static_cast<std::size_t>(i)].Prefixes)
      dxccPrefixes.push_back({p.Text, i});
  }
  const std::vector<std::string> dxccBodies = OwnerPatternBodies(dxccPrefixes, count);

  // Regions: every entity and WAE region, with each distinct position of a prefix of its
  // own as an owner of its own (numbered after the entities).
  struct TRegion {
    int Entity;
    TCtyPosition Position;
    std::string FirstPrefix;
  };
  std::vector<TRegion> regions;
  std::vector<TOwnedPrefix> finePrefixes;
  for (int i = 0; i < count; ++i) {
    for (const TCtyAlias& p : Entities[static_cast<std::size_t>(i)].Prefixes) {
      int owner = i;
      if (p.Position) {
        const auto it = std::find_if(regions.begin(), regions.end(), [&](const TRegion& r) {
          return r.Entity == i && r.Position == *p.Position;
        });
        owner = count + static_cast<int>(it - regions.begin());
        if (it == regions.end()) regions.push_back({i, *p.Position, p.Text});
      }
      finePrefixes.push_back({p.Text, owner});
    }
  }
  const std::vector<std::string> fineBodies =
      OwnerPatternBodies(finePrefixes, count + static_cast<int>(regions.size()));

  TReferenceTables t;
  t.Dxcc.Columns = {"Country",    "Prefix", "Continent", "CQZone",    "ITUZone",
                    "PrefixList", "Status", "EndDate",   "Longitude", "Latitude"};
  for (int i = 0; i < count; ++i) {
    const TCtyEntity& e = Entities[static_cast<std::size_t>(i)];
    const std::string& body = dxccBodies[static_cast<std::size_t>(i)];
    // Entities known only by exact callsigns are found through the individual callsigns.
    if (e.Wae || body.empty()) continue;
    t.Dxcc.Rows.push_back({e.Name, e.PrimaryPrefix, e.Continent, std::to_string(e.CqZone),
                           std::to_string(e.ItuZone), WholeCallPattern(body), "Active", "",
                           LongitudeText(e.Position.Longitude), LatitudeText(e.Position.Latitude)});
  }

  t.Province.Columns = {"Province", "Country", "PrefixList", "EndDate", "Longitude", "Latitude"};
  for (int i = 0; i < count; ++i) {
    const TCtyEntity& e = Entities[static_cast<std::size_t>(i)];
    const std::string& body = fineBodies[static_cast<std::size_t>(i)];
    if (!e.Wae || body.empty()) continue;
    t.Province.Rows.push_back({e.Name, e.Name, WholeCallPattern(body), "",
                               LongitudeText(e.Position.Longitude),
                               LatitudeText(e.Position.Latitude)});
  }
  for (std::size_t r = 0; r < regions.size(); ++r) {
    const TCtyEntity& e = Entities[static_cast<std::size_t>(regions[r].Entity)];
    const std::string& body = fineBodies[static_cast<std::size_t>(count) + r];
    if (body.empty()) continue;
    t.Province.Rows.push_back(
        {e.Name + " " + regions[r].FirstPrefix, e.Name, WholeCallPattern(body), "",
         LongitudeText(regions[r].Position.Longitude), LatitudeText(regions[r].Position.Latitude)});
  }
  for (const TCallArea& area : CallAreas) {
    const auto it = std::find_if(Entities.begin(), Entities.end(), [&](const TCtyEntity& e) {
      return !e.Wae && e.PrimaryPrefix == area.EntityPrefix;
    });
    if (it == Entities.end()) continue;
    const std::string& body = dxccBodies[static_cast<std::size_t>(it - Entities.begin())];
    if (body.empty()) continue;
    // The lookahead keeps the area to the entity's own callsigns; the head picks the area.
    t.Province.Rows.push_back(
        {std::string(area.Name), it->Name,
         "^(?=(?:" + body + ")[A-Z0-9/]*$)(?:" + std::string(area.Head) + ")[A-Z0-9/]*$", "",
         LongitudeText(area.Position.Longitude), LatitudeText(area.Position.Latitude)});
  }

  // Individual callsigns: the WAE regions first, since they name the place more closely
  // than the entity that lists the same callsign too.
  const TPrefixIndex fine(Entities, true);
  struct TCall {
    std::string Callsign;
    std::size_t Entity;
    TCtyPosition Position;
  };
  std::vector<TCall> calls;
  std::set<std::string, std::less<>> seen;
  for (const bool waePass : {true, false}) {
    for (std::size_t i = 0; i < Entities.size(); ++i) {
      const TCtyEntity& e = Entities[i];
      if (e.Wae != waePass) continue;
      for (const TCtyAlias& c : e.ExactCalls) {
        if (!seen.insert(c.Text).second) continue;
        const std::string reduced = ReducedCallsign(c.Text);
        const TCtyAlias* prefix = fine.FindPrefix(reduced);
        const bool redundant =
            !c.Position && fine.Find(reduced) == static_cast<int>(i) && prefix && !prefix->Position;
        if (redundant && !Options.AllExactCalls) continue;
        calls.push_back({c.Text, i, c.Position.value_or(e.Position)});
      }
    }
  }
  std::sort(calls.begin(), calls.end(),
            [](const TCall& a, const TCall& b) { return a.Callsign < b.Callsign; });
  // The dates come last and are left out of the rows: a missing value reads as empty, and
  // the file is much the smaller for it.
  t.Unique.Columns = {"ID", "Callsign", "Country", "Longitude", "Latitude", "StartDate", "EndDate"};
  for (std::size_t n = 0; n < calls.size(); ++n) {
    const TCall& c = calls[n];
    t.Unique.Rows.push_back({std::to_string(n + 1), c.Callsign, Entities[c.Entity].Name,
                             LongitudeText(c.Position.Longitude),
                             LatitudeText(c.Position.Latitude)});
  }
  return t;
}

struct TTableMatcher::TImpl {
  std::vector<QRegularExpression> Patterns;
  std::vector<bool> Usable;
};

TTableMatcher::TTableMatcher(const TTable& Table) : FImpl(std::make_unique<TImpl>()) {
  const std::size_t list = Table.Column("PrefixList");
  const auto optional = [&](std::string_view name) -> std::ptrdiff_t {
    const auto it = std::find(Table.Columns.begin(), Table.Columns.end(), name);
    return it == Table.Columns.end() ? -1 : it - Table.Columns.begin();
  };
  const std::ptrdiff_t status = optional("Status");
  const std::ptrdiff_t endDate = optional("EndDate");
  for (std::size_t r = 0; r < Table.Rows.size(); ++r) {
    const auto& row = Table.Rows[r];
    QRegularExpression re(QString::fromStdString(row.at(list)),
                          QRegularExpression::DotMatchesEverythingOption);
    if (!re.isValid()) {
      throw std::runtime_error("row " + std::to_string(r + 1) +
                               ": invalid pattern: " + re.errorString().toStdString());
    }
    re.optimize();
    FImpl->Patterns.push_back(std::move(re));
    FImpl->Usable.push_back((status < 0 || row.at(static_cast<std::size_t>(status)) == "Active") &&
                            (endDate < 0 || row.at(static_cast<std::size_t>(endDate)).empty()));
  }
}

TTableMatcher::~TTableMatcher() = default;

int TTableMatcher::First(std::string_view Callsign) const {
  const QString call = QString::fromUtf8(Callsign.data(), static_cast<qsizetype>(Callsign.size()));
  for (std::size_t r = 0; r < FImpl->Patterns.size(); ++r) {
    if (!FImpl->Usable[r]) continue;
    const QRegularExpressionMatch m = FImpl->Patterns[r].match(call);
    if (m.hasMatch() && m.captured(0) == call) return static_cast<int>(r);
  }
  return -1;
}

std::vector<std::string> CheckDxccTable(const std::vector<TCtyEntity>& Entities,
                                        const TTable& Dxcc) {
  std::vector<std::string> problems;
  std::unique_ptr<TTableMatcher> matcher;
  try {
    matcher = std::make_unique<TTableMatcher>(Dxcc);
  } catch (const std::exception& e) {
    problems.emplace_back(e.what());
    return problems;
  }
  const TPrefixIndex index(Entities, false);
  const std::size_t name = Dxcc.Column("Country");
  for (const TCtyEntity& e : Entities) {
    for (const TCtyAlias& p : e.Prefixes) {
      for (const char* tail : {"", "1", "0AB", "9ZZ/P", "A", "Q7X"}) {
        const std::string call = p.Text + tail;
        const int want = index.Find(call);
        const int row = matcher->First(call);
        const std::string got =
            row < 0 ? "nothing" : Dxcc.Rows[static_cast<std::size_t>(row)][name];
        const std::string expected =
            want < 0 ? "nothing" : Entities[static_cast<std::size_t>(want)].Name;
        // An entity without prefixes has no row; the country file then places nothing.
        if (got != expected)
          problems.push_back(call + ": table gives " + got + ", file gives " + expected);
      }
    }
  }
  return problems;
}

}  // namespace orvane::ctytables
