#include "app/lookup.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <array>
#include <bitset>
#include <string_view>
#include <utility>

#include "app/locator.h"

namespace orvane {

namespace {

[[nodiscard]] bool IsDigit09(QChar c) noexcept { return c >= u'0' && c <= u'9'; }
[[nodiscard]] bool IsAMP(QChar c) noexcept { return c == u'A' || c == u'M' || c == u'P'; }

/// Date D (at midnight) at or after Now.
[[nodiscard]] bool MidnightAtOrAfter(const QDate& D, const QDateTime& Now) {
  return D > Now.date() || (D == Now.date() && Now.time() == QTime(0, 0));
}

/// Now at or before date D (at midnight).
[[nodiscard]] bool AtOrBeforeMidnight(const QDateTime& Now, const QDate& D) {
  return Now.date() < D || (Now.date() == D && Now.time() == QTime(0, 0));
}

}  // namespace

QString NextCallSegment(const QString& Text, qsizetype& Pos) {
  const qsizetype n = Text.size();
  if (Pos < 1) Pos = 1;
  while (Pos <= n && Text[Pos - 1] == u'/') ++Pos;
  const qsizetype start = Pos;
  while (Pos <= n && Text[Pos - 1] != u'/') ++Pos;
  if (start > n) return {};
  return Text.mid(start - 1, Pos - start).trimmed().toUpper();
}

namespace {

[[nodiscard]] bool IsAsciiSpace(char16_t c) noexcept { return c == u' ' || (c >= 9 && c <= 13); }

/// NextCallSegment from position 1, as a view of Call when it needs no change, else of
/// Buffer.
[[nodiscard]] QStringView FirstCallSegment(QStringView Call, std::u16string& Buffer) {
  const qsizetype n = Call.size();
  qsizetype start = 0;
  while (start < n && Call[start] == u'/') ++start;
  qsizetype end = start;
  while (end < n && Call[end] != u'/') ++end;
  QStringView piece = Call.sliced(start, end - start);
  bool ascii = true, lower = false;
  for (const QChar c : piece) {
    ascii = ascii && c.unicode() < 128;
    lower = lower || (c >= u'a' && c <= u'z');
  }
  if (!ascii) {
    // Unicode blanks and case rules, as QString has them.
    const QString s = piece.toString().trimmed().toUpper();
    Buffer.assign(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
    return QStringView(Buffer.data(), static_cast<qsizetype>(Buffer.size()));
  }
  while (!piece.isEmpty() && IsAsciiSpace(piece.front().unicode())) piece = piece.sliced(1);
  while (!piece.isEmpty() && IsAsciiSpace(piece.back().unicode())) piece.chop(1);
  if (!lower) return piece;
  Buffer.assign(piece.utf16(), static_cast<std::size_t>(piece.size()));
  for (char16_t& c : Buffer)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return QStringView(Buffer.data(), static_cast<qsizetype>(Buffer.size()));
}

}  // namespace

QStringView ReducePortableCall(QStringView Call, std::u16string& Buffer) {
  const qsizetype p = Call.indexOf(u'/') + 1;  // 1-based; 0 when there is none
  if (p == 0) return Call;
  if (p <= 4) {
    const QStringView s = FirstCallSegment(Call, Buffer);
    if (s.isEmpty() || IsDigit09(s[0]) || IsAMP(s[0]) || s == u"QRP") return Call;
    return s;
  }
  const QStringView s = Call.sliced(p);
  if (s.isEmpty()) return Call.first(p - 1);
  if (IsDigit09(s[0])) {
    qsizetype k = Call.size() + 1;
    for (qsizetype i = 2; i <= Call.size(); ++i)
      if (IsDigit09(Call[i - 1])) {
        k = i;
        break;
      }
    Buffer.assign(Call.utf16(), static_cast<std::size_t>(k - 1));
    Buffer.append(s.utf16(), static_cast<std::size_t>(s.size()));
    return QStringView(Buffer.data(), static_cast<qsizetype>(Buffer.size()));
  }
  // A suffix beginning with A, M or P (AM and MM among them) keeps the callsign whole.
  if (IsAMP(s[0])) return Call;
  if (s == u"QRP") return Call.first(p - 1);
  return Call;
}

QString ReducePortableCall(const QString& Call) {
  std::u16string buffer;
  const QStringView reduced = ReducePortableCall(QStringView(Call), buffer);
  if (reduced.data() == Call.constData() && reduced.size() == Call.size()) return Call;
  return reduced.toString();
}

QDate StrToDate(const QString& Text, const QLocale& Locale, const QDate& Now) {
  const QString text = Text.trimmed();
  const QString shortFormat = Locale.dateFormat(QLocale::ShortFormat);
  QString longYear = shortFormat;
  if (!longYear.contains(u"yyyy")) longYear.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
  const auto relaxed = [](QString f) {
    return f.replace(QStringLiteral("dd"), QStringLiteral("d"))
        .replace(QStringLiteral("MM"), QStringLiteral("M"));
  };
  const QString formats[] = {shortFormat, longYear, relaxed(shortFormat), relaxed(longYear)};
  for (const QString& format : formats) {
    QDate date = Locale.toDate(text, format);
    if (!date.isValid()) continue;
    if (!format.contains(u"yyyy")) {
      // Two digits name the year in the century window around Now.
      const int pivot = Now.year() - 50;
      int year = date.year() % 100 + pivot / 100 * 100;
      if (year < pivot) year += 100;
      date = QDate(year, date.month(), date.day());
      if (!date.isValid()) continue;  // 29 February in a year without it
    }
    return date;
  }
  throw EConvertError("'" + Text.toStdString() + "' is not a valid date");
}

namespace {

/// What can begin a match of a pattern: the ASCII characters (Chars), any other character
/// (Other), and whether it can match nothing at all (Nullable). A superset is fine; the
/// engine decides. Built only for the syntax the tables use; anything else gives up.
struct TFirst {
  std::bitset<128> Chars;
  bool Other = false;
  bool Nullable = false;
  void Add(const TFirst& F) {
    Chars |= F.Chars;
    Other = Other || F.Other;
  }
};

class TFirstParser {
 public:
  explicit TFirstParser(std::string_view Pattern) : FText(Pattern) {}

  /// False when the pattern uses syntax not understood here.
  bool Parse(TFirst& Result) {
    if (!Alternatives(Result, 0)) return false;
    return FPos == FText.size();
  }

 private:
  bool Alternatives(TFirst& Result, int Depth) {
    if (Depth > 50) return false;
    Result = TFirst{};
    for (;;) {
      TFirst seq;
      if (!Sequence(seq, Depth)) return false;
      Result.Add(seq);
      Result.Nullable = Result.Nullable || seq.Nullable;
      if (FPos < FText.size() && FText[FPos] == '|') {
        ++FPos;
        continue;
      }
      return true;
    }
  }

  bool Sequence(TFirst& Result, int Depth) {
    Result = TFirst{};
    Result.Nullable = true;
    while (FPos < FText.size() && FText[FPos] != '|' && FText[FPos] != ')') {
      TFirst item;
      if (!Item(item, Depth)) return false;
      if (Result.Nullable) Result.Add(item);
      Result.Nullable = Result.Nullable && item.Nullable;
    }
    return true;
  }

  bool Item(TFirst& Result, int Depth) {
    Result = TFirst{};
    const char c = FText[FPos++];
    if (static_cast<unsigned char>(c) >= 128) return false;
    switch (c) {
      case '^':
      case '$':
        Result.Nullable = true;  // no character; a superset needs no more
        return true;
      case '.':
        Result.Chars.set();
        Result.Other = true;
        break;
      case '[':
        if (!Class(Result)) return false;
        break;
      case '(': {
        bool lookaround = false;
        if (FPos < FText.size() && FText[FPos] == '?') {
          const std::string_view rest = FText.substr(FPos);
          if (rest.starts_with("?:")) {
            FPos += 2;
          } else if (rest.starts_with("?=") || rest.starts_with("?!")) {
            FPos += 2;
            lookaround = true;
          } else if (rest.starts_with("?<=") || rest.starts_with("?<!")) {
            FPos += 3;
            lookaround = true;
          } else {
            return false;  // options, names, conditions ...
          }
        }
        TFirst inner;
        if (!Alternatives(inner, Depth + 1)) return false;
        if (FPos >= FText.size() || FText[FPos] != ')') return false;
        ++FPos;
        if (lookaround) {
          Result.Nullable = true;  // looks, takes nothing
          return Quantifier(Result);
        }
        Result = inner;
        break;
      }
      case '\\':
      case ')':
      case '|':
      case '*':
      case '+':
      case '?':
      case '{':
      case '}':
        return false;
      default:
        Result.Chars.set(static_cast<unsigned char>(c));
        break;
    }
    return Quantifier(Result);
  }

  /// [...]: single characters and ranges; a negated class may begin with anything.
  bool Class(TFirst& Result) {
    if (FPos < FText.size() && FText[FPos] == '^') {
      Result.Chars.set();
      Result.Other = true;
      ++FPos;
      if (FPos < FText.size() && FText[FPos] == ']') ++FPos;  // a "]" first is literal
      while (FPos < FText.size() && FText[FPos] != ']') {
        if (FText[FPos] == '\\' || FText[FPos] == '[') return false;
        ++FPos;
      }
      if (FPos >= FText.size()) return false;
      ++FPos;
      return true;
    }
    bool first = true;
    for (;;) {
      if (FPos >= FText.size()) return false;
      const char c = FText[FPos];
      if (c == ']' && !first) {
        ++FPos;
        return true;
      }
      if (c == '\\' || c == '[' || static_cast<unsigned char>(c) >= 128) return false;
      first = false;
      ++FPos;
      if (FPos + 1 < FText.size() && FText[FPos] == '-' && FText[FPos + 1] != ']') {
        const char last = FText[FPos + 1];
        if (last == '\\' || last == '[' || static_cast<unsigned char>(last) >= 128 || last < c)
          return false;
        for (int x = c; x <= last; ++x) Result.Chars.set(static_cast<std::size_t>(x));
        FPos += 2;
      } else {
        Result.Chars.set(static_cast<unsigned char>(c));
      }
    }
  }

  bool Quantifier(TFirst& Result) {
    if (FPos >= FText.size()) return true;
    const char q = FText[FPos];
    if (q == '{') return false;
    if (q != '*' && q != '?' && q != '+') return true;
    ++FPos;
    if (q != '+') Result.Nullable = true;
    // Lazy and possessive forms take the same characters.
    if (FPos < FText.size() && (FText[FPos] == '?' || FText[FPos] == '+')) ++FPos;
    return FPos >= FText.size() ||
           (FText[FPos] != '*' && FText[FPos] != '+' && FText[FPos] != '?' && FText[FPos] != '{');
  }

  std::string_view FText;
  std::size_t FPos = 0;
};

struct TCodeFree {
  void operator()(pcre2_code* Code) const noexcept { pcre2_code_free(Code); }
};
struct TMatchDataFree {
  void operator()(pcre2_match_data* Data) const noexcept { pcre2_match_data_free(Data); }
};
using TCode = std::unique_ptr<pcre2_code, TCodeFree>;

constexpr std::size_t kOtherFirst = 128;  // the bucket of callsigns beginning beyond ASCII

}  // namespace

struct TCallsignLookup::TPrefixTable {
  TPrefixTable(platform::TRecordSet& S, const char* N, bool E) : Set(S), Name(N), Entities(E) {}

  struct TRow {
    TCode Code;              // null: the pattern cannot be used, Error says why
    std::string Error;       // for ELookupError
    std::size_t Number = 0;  // of an unusable row: its position and pattern, so that a
    std::string Source;      // reload keeps it reported while it stays the same
    bool Reported = false;
    QString Long, Lat;
  };

  platform::TRecordSet& Set;
  const char* Name;
  bool Entities;  // tblDXCC: rows must also be "Active"
  // The rows that can place a callsign or must report their pattern, in table order.
  std::vector<TRow> Rows;
  // Per first character of a callsign, the rows whose match can begin with it (and the
  // unusable ones), in table order; the last bucket for characters beyond ASCII.
  std::array<std::vector<std::uint32_t>, kOtherFirst + 1> Candidates;
  std::vector<std::uint32_t> All;  // for an empty callsign
  // A column of the accepted row that cannot be read: the error of reading it.
  std::string PositionError;
  bool Loaded = false;
  std::uint64_t Revision = 0;
  std::unique_ptr<pcre2_match_data, TMatchDataFree> Match;

  /// Compiles and indexes every row; throws the set's error for a closed set or a missing
  /// column, and leaves the table as it was then.
  void Load();
  /// The engine's first match of Code in Call is the whole of Call.
  bool Matches(const pcre2_code* Code, QStringView Call);
};

void TCallsignLookup::TPrefixTable::Load() {
  platform::TRecordSet& set = Set;
  set.First();
  const std::size_t prefixList = set.FieldIndex("PrefixList");
  const std::size_t endDate = set.FieldIndex("EndDate");
  const std::size_t status = Entities ? set.FieldIndex("Status") : 0;
  // Longitude and latitude are read only from a row that places a callsign: a table
  // without them fails then, not before.
  std::string positionError;
  std::size_t longitude = 0, latitude = 0;
  try {
    longitude = set.FieldIndex("Longitude");
    latitude = set.FieldIndex("Latitude");
  } catch (const platform::EDatabaseError& e) {
    positionError = e.what();
  }

  std::vector<TRow> rows;
  std::vector<TFirst> firsts;
  std::vector<bool> indexed;
  std::size_t row = 0;
  for (; !set.Eof(); set.Next(), ++row) {
    const std::string source = set.Fields(prefixList);
    TRow r;
    TFirst first;
    bool known = false;
    if (!source.empty()) {
      int error = 0;
      PCRE2_SIZE offset = 0;
      const QString pattern = QString::fromStdString(source);
      r.Code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.utf16()),
                                 static_cast<PCRE2_SIZE>(pattern.size()), PCRE2_UTF | PCRE2_DOTALL,
                                 &error, &offset, nullptr));
      if (r.Code) {
        // Without JIT support the interpreter gives the same matches, only slower.
        (void)pcre2_jit_compile(r.Code.get(), PCRE2_JIT_COMPLETE);
        known = TFirstParser(source).Parse(first);
      }
    }
    if (r.Code) {
      // A row that could never be accepted needs no trying.
      if (!set.Fields(endDate).empty()) continue;
      if (Entities && set.Fields(status) != "Active") continue;
      if (positionError.empty()) {
        r.Long = QString::fromStdString(set.Fields(longitude));
        r.Lat = QString::fromStdString(set.Fields(latitude));
      }
    } else {
      r.Number = row;
      r.Source = source;
      for (const TRow& before : Rows)
        if (!before.Code && before.Reported && before.Number == row && before.Source == source)
          r.Reported = true;
      const std::string where =
          std::string(Name) + " row " + std::to_string(row + 1) + " ('" + set.Fields(0) + "')";
      if (source.empty()) {
        r.Error = "Empty PrefixList in " + where;
      } else {
        // The engine's own words, as its wrapper gives them.
        const QRegularExpression expression(QString::fromStdString(source),
                                            QRegularExpression::DotMatchesEverythingOption);
        r.Error = "Invalid PrefixList in " + where + ": \"" + source +
                  "\": " + expression.errorString().toStdString() + " at offset " +
                  std::to_string(expression.patternErrorOffset());
      }
    }
    rows.push_back(std::move(r));
    firsts.push_back(first);
    indexed.push_back(known);
  }

  std::array<std::vector<std::uint32_t>, kOtherFirst + 1> candidates;
  std::vector<std::uint32_t> all;
  for (std::uint32_t i = 0; i < rows.size(); ++i) {
    all.push_back(i);
    for (std::size_t c = 0; c <= kOtherFirst; ++c) {
      const bool may = !indexed[i] || (c < kOtherFirst ? firsts[i].Chars.test(c) : firsts[i].Other);
      if (may) candidates[c].push_back(i);
    }
  }
  if (!Match) Match.reset(pcre2_match_data_create(1, nullptr));
  if (!Match) throw std::bad_alloc();
  Rows = std::move(rows);
  Candidates = std::move(candidates);
  All = std::move(all);
  PositionError = std::move(positionError);
  Revision = set.Revision();
  Loaded = true;
}

bool TCallsignLookup::TPrefixTable::Matches(const pcre2_code* Code, QStringView Call) {
  const auto subject = reinterpret_cast<PCRE2_SPTR>(Call.utf16());
  const auto length = static_cast<PCRE2_SIZE>(Call.size());
  int rc = pcre2_match(Code, subject, length, 0, 0, Match.get(), nullptr);
  // The machine stack of the compiled matcher ran out: the interpreter has room.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
    rc = pcre2_match(Code, subject, length, 0, PCRE2_NO_JIT, Match.get(), nullptr);
  if (rc < 0) return false;  // no match, or the engine gave up: not placed
  const PCRE2_SIZE* whole = pcre2_get_ovector_pointer(Match.get());
  return whole[0] == 0 && whole[1] == length;
}

TCallsignLookup::TCallsignLookup(platform::TRecordSet& Unique, platform::TRecordSet& Province,
                                 platform::TRecordSet& DXCC, QLocale Locale)
    : FUnique(Unique),
      FProvince(std::make_unique<TPrefixTable>(Province, "tblProvince", false)),
      FDXCC(std::make_unique<TPrefixTable>(DXCC, "tblDXCC", true)),
      FLocale(std::move(Locale)) {
  FReduced.reserve(32);
  FCallText.reserve(32);
  FFilterText.reserve(64);
  // Compiled now, so that the first lookup does not pay for it. Tables that are not loaded
  // yet, or lack a column, are tried again by the lookups, which then report the error.
  for (TPrefixTable* table : {FProvince.get(), FDXCC.get()}) {
    try {
      if (table->Set.Active()) table->Load();
    } catch (const platform::EDatabaseError&) {
    }
  }
  try {
    if (FUnique.Active()) LoadUnique();
  } catch (const platform::EDatabaseError&) {
  }
}

TCallsignLookup::~TCallsignLookup() = default;

bool TCallsignLookup::FindCountry(const QString& Call, QString& DxLong, QString& DxLat) {
  return FindCountry(Call, QDateTime::currentDateTime(), DxLong, DxLat);
}

bool TCallsignLookup::FindCountry(const QString& Call, const QDateTime& Now, QString& DxLong,
                                  QString& DxLat) {
  if (FindUnique(Call, Now, DxLong, DxLat)) return true;
  const QStringView call = ReducePortableCall(QStringView(Call), FReduced);
  return FindByPrefix(*FProvince, call, DxLong, DxLat) || FindByPrefix(*FDXCC, call, DxLong, DxLat);
}

void TCallsignLookup::LoadUnique() {
  FUniqueLoaded = false;
  FUniqueCalls.clear();
  const std::string filter = FUnique.Filter();
  const std::size_t callsign = FUnique.FieldIndex("Callsign");
  FUnique.SetFilter("");
  try {
    for (FUnique.First(); !FUnique.Eof(); FUnique.Next())
      FUniqueCalls.insert(FUnique.Fields(callsign));
  } catch (...) {
    FUniqueCalls.clear();
    FUnique.SetFilter(filter);
    throw;
  }
  FUnique.SetFilter(filter);
  FUniqueRevision = FUnique.Revision();
  FUniqueLoaded = true;
}

bool TCallsignLookup::FindUnique(const QString& Call, const QDateTime& Now, QString& DxLong,
                                 QString& DxLat) {
  if (FUnique.Active() && (!FUniqueLoaded || FUniqueRevision != FUnique.Revision())) {
    try {
      LoadUnique();
    } catch (const platform::EDatabaseError&) {
      // The walk below meets the same error.
    }
  }
  if (!FUnique.Active() || !FUniqueLoaded) return FindUniqueRows(Call, Now, DxLong, DxLat);

  FCallText.clear();
  for (const QChar c : Call) {
    if (c.unicode() >= 128) {
      FCallText = Call.toStdString();
      break;
    }
    FCallText.push_back(static_cast<char>(c.unicode()));
  }
  if (FUniqueCalls.contains(FCallText)) return FindUniqueRows(Call, Now, DxLong, DxLat);
  // No entry: the table only takes the filter, which it keeps from the last lookup.
  FFilterText.assign("Callsign = '");
  for (const char c : FCallText) {
    FFilterText.push_back(c);
    if (c == '\'') FFilterText.push_back('\'');
  }
  FFilterText.push_back('\'');
  FUnique.SetFilter(FFilterText);
  return false;
}

bool TCallsignLookup::FindUniqueRows(const QString& Call, const QDateTime& Now, QString& DxLong,
                                     QString& DxLat) {
  // The quote is doubled, so that a callsign holding one is looked up, not a broken filter.
  FUnique.SetFilter(platform::FilterEquals("Callsign", Call.toStdString()));
  FUnique.First();
  if (FUnique.Fields(0).empty()) return false;
  for (; !FUnique.Eof(); FUnique.Next()) {
    const QString start = QString::fromStdString(FUnique.FieldByName("StartDate"));
    const QString end = QString::fromStdString(FUnique.FieldByName("EndDate"));
    bool accepted = false;
    if (!start.isEmpty() && !end.isEmpty()) {
      const QDate startDate = StrToDate(start, FLocale, Now.date());
      const QDate endDate = StrToDate(end, FLocale, Now.date());
      accepted = MidnightAtOrAfter(startDate, Now) || AtOrBeforeMidnight(Now, endDate);
    } else {
      accepted = start.isEmpty() && end.isEmpty();
    }
    if (accepted) {
      DxLong = QString::fromStdString(FUnique.FieldByName("Longitude"));
      DxLat = QString::fromStdString(FUnique.FieldByName("Latitude"));
      return true;
    }
  }
  return false;
}

bool TCallsignLookup::FindByPrefix(TPrefixTable& Table, QStringView Call, QString& DxLong,
                                   QString& DxLat) {
  if (!Table.Set.Active()) Table.Set.First();  // raises the set's error
  if (!Table.Loaded || Table.Revision != Table.Set.Revision()) Table.Load();
  const std::vector<std::uint32_t>& candidates =
      Call.isEmpty() ? Table.All
                     : Table.Candidates[std::min<std::size_t>(Call[0].unicode(), kOtherFirst)];
  for (const std::uint32_t i : candidates) {
    TPrefixTable::TRow& row = Table.Rows[i];
    if (!row.Code) {
      if (row.Reported) continue;
      row.Reported = true;
      throw ELookupError(row.Error);
    }
    if (!Table.Matches(row.Code.get(), Call)) continue;
    if (!Table.PositionError.empty()) throw platform::EDatabaseError(Table.PositionError);
    DxLong = row.Long;
    DxLat = row.Lat;
    return true;
  }
  return false;
}

}  // namespace orvane
