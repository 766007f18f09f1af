#include "app/locator.h"

#include <cmath>

namespace orvane {

namespace {

[[nodiscard]] bool IsLetterAX(QChar c) noexcept { return c >= u'A' && c <= u'X'; }
[[nodiscard]] bool IsLetterAR(QChar c) noexcept { return c >= u'A' && c <= u'R'; }
[[nodiscard]] bool IsDigit09(QChar c) noexcept { return c >= u'0' && c <= u'9'; }

/// One position text without its hemisphere letter; Negative is the letter that makes it
/// negative.
[[nodiscard]] double PositionText(QString Text, QChar Negative, const QLocale& Locale) {
  if (Text.endsWith(Negative)) Text.prepend(u'-');
  Text.chop(1);
  if (Text.isEmpty()) return 0.0;
  bool ok = false;
  double value = Locale.toDouble(Text, &ok);
  // The reference tables are written with a full stop whatever the user's locale; without
  // this, no station would be placed where the locale has a decimal comma.
  if (!ok && Locale.decimalPoint() != QStringLiteral(".")) {
    QLocale C(QLocale::C);
    C.setNumberOptions(Locale.numberOptions());
    value = C.toDouble(Text, &ok);
  }
  if (!ok || !std::isfinite(value))
    throw EConvertError("'" + Text.toStdString() + "' is not a valid floating point value");
  return value;
}

}  // namespace

int LocatorLetterIndex(QChar C) noexcept { return IsLetterAX(C) ? C.unicode() - u'A' + 1 : 0; }

bool IsValidLocator(const QString& s) {
  if (s.size() != 6) return false;
  QString t = s;
  for (QChar& c : t)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - u'a' + u'A');
  return IsLetterAR(t[0]) && IsLetterAR(t[1]) && IsDigit09(t[2]) && IsDigit09(t[3]) &&
         IsLetterAX(t[4]) && IsLetterAX(t[5]);
}

void LocatorToLatLong(const QString& s, double& Lat, double& Long) {
  if (!IsValidLocator(s)) return;
  const double a = LocatorLetterIndex(s[0]);
  const double b = LocatorLetterIndex(s[1]);
  const double d3 = s[2].unicode() - u'0';
  const double d4 = s[3].unicode() - u'0';
  const double e = LocatorLetterIndex(s[4]);
  const double f = LocatorLetterIndex(s[5]);
  Long = (a - 10) * 20 + d3 * 2 + (e - 1) / 12 + 1.0 / 24;
  Lat = (b - 10) * 10 + d4 + (f - 1) / 24 + 1.0 / 48;
}

bool IsValidGridLocator(const QString& s) {
  const qsizetype n = s.size();
  if (n != 4 && n != 6 && n != 8 && n != 10) return false;
  const QString t = s.toUpper();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = t[i];
    // Pairs: field (A–R), square (digits), sub-square (A–X), extended square (digits),
    // extended sub-square (A–X).
    const bool ok = i < 2 ? IsLetterAR(c) : (i / 2) % 2 == 1 ? IsDigit09(c) : IsLetterAX(c);
    if (!ok) return false;
  }
  return true;
}

bool GridLocatorToLatLong(const QString& s, double& Lat, double& Long) {
  if (!IsValidGridLocator(s)) return false;
  const QString t = s.toUpper();
  // Each pair divides the cell of the pair before it: 18 fields, then 10, 24, 10, 24.
  static constexpr int kDivisions[] = {18, 10, 24, 10, 24};
  double Lon = -180, La = -90;
  double CellLong = 360, CellLat = 180;
  for (qsizetype pair = 0; pair < t.size() / 2; ++pair) {
    const QChar a = t[pair * 2], b = t[pair * 2 + 1];
    const bool Digits = pair % 2 == 1;
    const int ia = Digits ? a.unicode() - u'0' : a.unicode() - u'A';
    const int ib = Digits ? b.unicode() - u'0' : b.unicode() - u'A';
    CellLong /= kDivisions[pair];
    CellLat /= kDivisions[pair];
    Lon += ia * CellLong;
    La += ib * CellLat;
  }
  Long = Lon + CellLong / 2;
  Lat = La + CellLat / 2;
  return true;
}

void TextToLatLong(const QString& LatText, const QString& LongText, double& Lat, double& Long,
                   const QLocale& Locale) {
  if (LatText.isEmpty() || LongText.isEmpty()) {
    Lat = 0.0;
    Long = 0.0;
    return;
  }
  // Only the decimal separator is locale-dependent: "1.234,5" is no number in any locale.
  QLocale locale = Locale;
  locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
  const double lat = PositionText(LatText, u'S', locale);
  const double lon = PositionText(LongText, u'W', locale);
  Lat = lat;
  Long = lon;
}

}  // namespace orvane
