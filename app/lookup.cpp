#include "app/lookup.h"

#include <QTime>
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

QString ReducePortableCall(const QString& Call) {
  const qsizetype p = Call.indexOf(u'/') + 1;  // 1-based; 0 when there is none
  if (p == 0) return Call;
  if (p <= 4) {
    qsizetype pos = 1;
    const QString s = NextCallSegment(Call, pos);
    if (s.isEmpty() || IsDigit09(s[0]) || IsAMP(s[0]) || s == u"QRP") return Call;
    return s;
  }
  const QString s = Call.mid(p);
  if (s.isEmpty()) return Call.left(p - 1);
  if (IsDigit09(s[0])) {
    qsizetype k = Call.size() + 1;
    for (qsizetype i = 2; i <= Call.size(); ++i)
      if (IsDigit09(Call[i - 1])) {
        k = i;
        break;
      }
    return Call.left(k - 1) + s;
  }
  // A suffix beginning with A, M or P (AM and MM among them) keeps the callsign whole.
  if (IsAMP(s[0])) return Call;
  if (s == u"QRP") return Call.left(p - 1);
  return Call;
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

TCallsignLookup::TCallsignLookup(platform::TRecordSet& Unique, platform::TRecordSet& Province,
                                 platform::TRecordSet& DXCC, QLocale Locale)
    : FUnique(Unique),
      FProvince{Province, "tblProvince", false, {}},
      FDXCC{DXCC, "tblDXCC", true, {}},
      FLocale(std::move(Locale)) {}

bool TCallsignLookup::FindCountry(const QString& Call, QString& DxLong, QString& DxLat) {
  return FindCountry(Call, QDateTime::currentDateTime(), DxLong, DxLat);
}

bool TCallsignLookup::FindCountry(const QString& Call, const QDateTime& Now, QString& DxLong,
                                  QString& DxLat) {
  if (FindUnique(Call, Now, DxLong, DxLat)) return true;
  const QString call = ReducePortableCall(Call);
  return FindByPrefix(FProvince, call, DxLong, DxLat) || FindByPrefix(FDXCC, call, DxLong, DxLat);
}

bool TCallsignLookup::FindUnique(const QString& Call, const QDateTime& Now, QString& DxLong,
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

bool TCallsignLookup::FindByPrefix(TPrefixTable& Table, const QString& Call, QString& DxLong,
                                   QString& DxLat) {
  platform::TRecordSet& set = Table.Set;
  set.First();
  const std::size_t prefixList = set.FieldIndex("PrefixList");
  const std::size_t endDate = set.FieldIndex("EndDate");
  const std::size_t status = Table.Entities ? set.FieldIndex("Status") : 0;
  std::size_t row = 0;
  for (; !set.Eof(); set.Next(), ++row) {
    if (row >= Table.Patterns.size()) Table.Patterns.resize(row + 1);
    TPattern& pattern = Table.Patterns[row];
    std::string source = set.Fields(prefixList);
    if (!pattern.Compiled || pattern.Source != source) {
      pattern = TPattern{};
      pattern.Expression = QRegularExpression(QString::fromStdString(source),
                                              QRegularExpression::DotMatchesEverythingOption);
      pattern.Invalid = source.empty() || !pattern.Expression.isValid();
      if (!pattern.Invalid) pattern.Expression.optimize();
      pattern.Source = std::move(source);
      pattern.Compiled = true;
    }
    if (pattern.Invalid) {
      if (pattern.Reported) continue;
      pattern.Reported = true;
      const std::string where = std::string(Table.Name) + " row " + std::to_string(row + 1) +
                                " ('" + set.Fields(0) + "')";
      if (pattern.Source.empty()) throw ELookupError("Empty PrefixList in " + where);
      throw ELookupError("Invalid PrefixList in " + where + ": \"" + pattern.Source +
                         "\": " + pattern.Expression.errorString().toStdString() + " at offset " +
                         std::to_string(pattern.Expression.patternErrorOffset()));
    }
    // The first match the engine finds must be the whole callsign.
    const QRegularExpressionMatch match = pattern.Expression.match(Call);
    if (!match.hasMatch() || match.capturedStart(0) != 0 || match.capturedLength(0) != Call.size())
      continue;
    if (!set.Fields(endDate).empty()) continue;
    if (Table.Entities && set.Fields(status) != "Active") continue;
    DxLong = QString::fromStdString(set.FieldByName("Longitude"));
    DxLat = QString::fromStdString(set.FieldByName("Latitude"));
    return true;
  }
  return false;
}

}  // namespace orvane
