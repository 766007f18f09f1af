// The callsign lookup as it was first written: every row's pattern compiled when first
// reached and tried in table order with a match object per try, the individual entries
// through the table's filter. Slow, plainly right: the compiled and indexed lookup is
// checked against it, and the benchmark measures against it.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QTime>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/lookup.h"
#include "platform/recordset.h"

namespace orvane::reference {

inline QString NextSegment(const QString& Text, qsizetype& Pos) {
  const qsizetype n = Text.size();
  if (Pos < 1) Pos = 1;
  while (Pos <= n && Text[Pos - 1] == u'/') ++Pos;
  const qsizetype start = Pos;
  while (Pos <= n && Text[Pos - 1] != u'/') ++Pos;
  if (start > n) return {};
  return Text.mid(start - 1, Pos - start).trimmed().toUpper();
}

inline bool IsDigit09(QChar c) { return c >= u'0' && c <= u'9'; }
inline bool IsAMP(QChar c) { return c == u'A' || c == u'M' || c == u'P'; }

inline QString ReduceCall(const QString& Call) {
  const qsizetype p = Call.indexOf(u'/') + 1;
  if (p == 0) return Call;
  if (p <= 4) {
    qsizetype pos = 1;
    const QString s = NextSegment(Call, pos);
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
  if (IsAMP(s[0])) return Call;
  if (s == u"QRP") return Call.left(p - 1);
  return Call;
}

class TLookup {
 public:
  TLookup(platform::TRecordSet& Unique, platform::TRecordSet& Province, platform::TRecordSet& DXCC,
          QLocale Locale)
      : FUnique(Unique),
        FProvince{Province, "tblProvince", false, {}},
        FDXCC{DXCC, "tblDXCC", true, {}},
        FLocale(std::move(Locale)) {}

  bool FindCountry(const QString& Call, const QDateTime& Now, QString& DxLong, QString& DxLat) {
    if (FindUnique(Call, Now, DxLong, DxLat)) return true;
    const QString call = ReduceCall(Call);
    return FindByPrefix(FProvince, call, DxLong, DxLat) || FindByPrefix(FDXCC, call, DxLong, DxLat);
  }

 private:
  struct TPattern {
    std::string Source;
    QRegularExpression Expression;
    bool Compiled = false;
    bool Invalid = false;
    bool Reported = false;
  };
  struct TTable {
    platform::TRecordSet& Set;
    const char* Name;
    bool Entities;
    std::vector<TPattern> Patterns;
  };

  bool FindUnique(const QString& Call, const QDateTime& Now, QString& DxLong, QString& DxLat) {
    FUnique.SetFilter(platform::FilterEquals("Callsign", Call.toStdString()));
    FUnique.First();
    if (FUnique.Fields(0).empty()) return false;
    for (; !FUnique.Eof(); FUnique.Next()) {
      const QString start = QString::fromStdString(FUnique.FieldByName("StartDate"));
      const QString end = QString::fromStdString(FUnique.FieldByName("EndDate"));
      bool accepted = false;
      if (!start.isEmpty() && !end.isEmpty()) {
        const QDate from = StrToDate(start, FLocale, Now.date());
        const QDate to = StrToDate(end, FLocale, Now.date());
        const bool midnight = Now.time() == QTime(0, 0);
        accepted = from > Now.date() || (from == Now.date() && midnight) || Now.date() < to ||
                   (Now.date() == to && midnight);
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

  bool FindByPrefix(TTable& Table, const QString& Call, QString& DxLong, QString& DxLat) {
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
        pattern.Source = std::move(source);
        pattern.Compiled = true;
      }
      if (pattern.Invalid) {
        if (pattern.Reported) continue;
        pattern.Reported = true;
        throw ELookupError(std::string(Table.Name) + " row " + std::to_string(row + 1));
      }
      const QRegularExpressionMatch match = pattern.Expression.match(Call);
      if (!match.hasMatch() || match.capturedStart(0) != 0 ||
          match.capturedLength(0) != Call.size())
        continue;
      if (!set.Fields(endDate).empty()) continue;
      if (Table.Entities && set.Fields(status) != "Active") continue;
      DxLong = QString::fromStdString(set.FieldByName("Longitude"));
      DxLat = QString::fromStdString(set.FieldByName("Latitude"));
      return true;
    }
    return false;
  }

  platform::TRecordSet& FUnique;
  TTable FProvince;
  TTable FDXCC;
  QLocale FLocale;
};

}  // namespace orvane::reference
