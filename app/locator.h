// Locator and coordinate text helpers: Maidenhead locators and the position texts of the
// reference tables ("50.5N", "18.5W") as latitude and longitude in degrees, north and east
// positive.
#pragma once

#include <QChar>
#include <QLocale>
#include <QString>
#include <stdexcept>

namespace orvane {

/// The conversion error: a text that is not a number, or not a date, in the locale's format.
/// The message is "'<text>' is not a valid floating point value" or "... a valid date".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The letters of locator fields and sub-squares.
inline constexpr char kLocatorLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWX";

/// 1-based position of C in "A" … "X"; 0 for every other character, lower case included.
[[nodiscard]] int LocatorLetterIndex(QChar C) noexcept;

/// True for a six-character locator: two field letters A–R, two digits, two sub-square
/// letters A–X. Letters a–z count as their upper-case forms here (but see
/// LocatorToLatLong). Field letters S–X are refused: the 18 fields cover the earth, and
/// those letters would place a station beyond the poles or half a turn past 180°.
[[nodiscard]] bool IsValidLocator(const QString& s);

/// The centre of the locator's sub-square in degrees. Leaves Lat and Long untouched when s
/// is not a valid locator. The letters are indexed as they stand, so a lower-case letter
/// counts as index 0 and gives a position 10 or 20 fields (or 1 sub-square) off: pass
/// upper-case text.
void LocatorToLatLong(const QString& s, double& Lat, double& Long);

/// True for a locator of 4, 6, 8 or 10 characters: field letters A–R, square digits,
/// sub-square letters A–X, extended-square digits, extended sub-square letters A–X. Letters
/// of either case.
[[nodiscard]] bool IsValidGridLocator(const QString& s);

/// The centre of the smallest square the locator names (4 characters: a 2° × 1° square; 10
/// characters: 1.25″ × 0.625″), in degrees, letters of either case. Returns false and leaves
/// Lat and Long untouched when s is not valid for IsValidGridLocator.
bool GridLocatorToLatLong(const QString& s, double& Lat, double& Long);

/// Position texts to degrees. Both results are 0 when either text is empty. Otherwise each
/// text loses its last character (the hemisphere letter); a last "S" (latitude) or "W"
/// (longitude), upper case only, makes the value negative. The rest is read as a decimal
/// number with Locale's decimal separator, or else with a full stop, as the reference
/// tables are written (no group separators; blanks around it are allowed); nothing left
/// reads as 0. Throws EConvertError for a rest that is not such a
/// number, infinite or not a number; Lat and Long are then left as they were.
void TextToLatLong(const QString& LatText, const QString& LongText, double& Lat, double& Long,
                   const QLocale& Locale = QLocale::system());

}  // namespace orvane
