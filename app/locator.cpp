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
