// Maidenhead locators and position texts to degrees.
#include "app/locator.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <limits>
#include <vector>

#include "tests/app/csvfixture.h"

namespace orvane {
namespace {

TEST(Locator, LetterIndexCountsOnlyUpperCaseAToX) {
  const struct {
    char16_t C;
    int Index;
  } cases[] = {{u'A', 1}, {u'B', 2}, {u'K', 11}, {u'X', 24}, {u'Y', 0}, {u'Z', 0},
               {u'a', 0}, {u'x', 0}, {u'0', 0},  {u' ', 0},  {u'@', 0}, {u'\u00c4', 0}};
  for (const auto& c : cases) EXPECT_EQ(LocatorLetterIndex(QChar(c.C)), c.Index) << char(c.C);
}

TEST(Locator, ValidOnlyWithSixCharactersInTheirPlaces) {
  const struct {
    const char16_t* Text;
    bool Valid;
  } cases[] = {
      {u"KO50FL", true},
      {u"AA00AA", true},
      {u"RR99XX", true},
      {u"ko50fl", true},
      // Fields beyond R would lie past the poles or past 180°.
      {u"SA00AA", false},
      {u"AS00AA", false},
      {u"XX99XX", false},
      {u"rr99xx", true},
      {u"Ko50fL", true},
      {u"KO50", false},
      {u"KO50FLX", false},
      {u"", false},
      {u"KZ50FL", false},
      {u"KO50FZ", false},
      {u"YO50FL", false},
      {u"KOA0FL", false},
      {u"KO5AFL", false},
      {u"K050FL", false},
      {u"KO50F ", false},
      {u" KO50F", false},
      {u"KO\uff150FL", false},  // a digit, but not 0 to 9
  };
  for (const auto& c : cases) {
    const QString text = QString::fromUtf16(c.Text);
    EXPECT_EQ(IsValidLocator(text), c.Valid) << text.toStdString();
  }
  QString lower = QStringLiteral("ko50fl");
  (void)IsValidLocator(lower);
  EXPECT_EQ(lower, QStringLiteral("ko50fl")) << "the caller's text is not upper-cased";
}

TEST(Locator, CentreOfTheSubSquare) {
  const struct {
    const char* Text;
    double Lat, Long;
  } cases[] = {
      {"KO50FL", 50 + 11.0 / 24 + 1.0 / 48, 30 + 5.0 / 12 + 1.0 / 24},
      {"JO62QM", 52 + 12.0 / 24 + 1.0 / 48, 12 + 16.0 / 12 + 1.0 / 24},
      {"AA00AA", -90 + 1.0 / 48, -180 + 1.0 / 24},
      {"RR99XX", 90 - 1.0 / 48, 180 - 1.0 / 24},
      // Valid, but lower-case letters index as 0: fields 10 and 20 below "A".
      {"ko50fl", -100 - 1.0 / 24 + 1.0 / 48, -200 + 10 - 1.0 / 12 + 1.0 / 24},
      {"KO50fl", 50 - 1.0 / 24 + 1.0 / 48, 30 - 1.0 / 12 + 1.0 / 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    double lat = 0, lon = 0;
    LocatorToLatLong(QString::fromLatin1(c.Text), lat, lon);
    EXPECT_DOUBLE_EQ(lat, c.Lat);
    EXPECT_DOUBLE_EQ(lon, c.Long);
  }
  for (const char* text : {"KO50", "KZ50FL", "KOA0FL", "", "KO50FLL", "XX99XX"}) {
    double lat = 7, lon = 8;
    LocatorToLatLong(QString::fromLatin1(text), lat, lon);
    EXPECT_EQ(lat, 7) << text;
    EXPECT_EQ(lon, 8) << text;
  }
}

TEST(Locator, PositionTextsWithHemisphereLetters) {
  const QLocale c(QLocale::C);
  const QLocale german(QLocale::German, QLocale::Germany);
  const struct {
    const char* Name;
    QLocale Locale;
    const char* Lat;
    const char* Long;
    double ExpectLat, ExpectLong;
  } cases[] = {
      {"north east", c, "50.5N", "30.5E", 50.5, 30.5},
      {"south west", c, "33.5S", "18.5W", -33.5, -18.5},
      {"lower-case letters do not turn the sign", c, "33.5s", "18.5w", 33.5, 18.5},
      {"no hemisphere letter: the last digit goes", c, "12.5", "130", 12, 13},
      {"only the letter", c, "N", "E", 0, 0},
      {"blanks around the number", c, " 50.5 N", "+7E", 50.5, 7},
      {"an exponent", c, "1e1N", "-2.5E", 10, -2.5},
      {"empty latitude", c, "", "30.5E", 0, 0},
      {"empty longitude", c, "50.5N", "", 0, 0},
      {"decimal comma", german, "50,5N", "30,25W", 50.5, -30.25},
      {"decimal comma, whole numbers", german, "50S", "7E", -50, 7},
      {"full stop where the comma belongs, as the tables have it", german, "50.5N", "30.5W", 50.5,
       -30.5},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.Name);
    double lat = 99, lon = 99;
    TextToLatLong(QString::fromLatin1(t.Lat), QString::fromLatin1(t.Long), lat, lon, t.Locale);
    EXPECT_DOUBLE_EQ(lat, t.ExpectLat);
    EXPECT_DOUBLE_EQ(lon, t.ExpectLong);
  }
}

TEST(Locator, PositionTextThatIsNoNumberIsAConversionError) {
  const QLocale c(QLocale::C);
  const QLocale german(QLocale::German, QLocale::Germany);
  const struct {
    const char* Name;
    QLocale Locale;
    const char* Lat;
    const char* Long;
    const char* Message;
  } cases[] = {
      {"letters", c, "abcN", "7E", "'abc' is not a valid floating point value"},
      {"the sign alone", c, "S", "7E", "'-' is not a valid floating point value"},
      {"a sign twice", c, "-3S", "7E", "'--3' is not a valid floating point value"},
      {"group separator", c, "1,050.5N", "7E", "'1,050.5' is not a valid floating point value"},
      {"group separators in the locale's format", german, "50N", "1.030,5E",
       "'1.030,5' is not a valid floating point value"},
      {"infinite", c, "50N", "infE", "'inf' is not a valid floating point value"},
      {"not a number", c, "nanN", "7E", "'nan' is not a valid floating point value"},
      {"out of range", c, "1e999N", "7E", "'1e999' is not a valid floating point value"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.Name);
    double lat = 99, lon = 99;
    try {
      TextToLatLong(QString::fromLatin1(t.Lat), QString::fromLatin1(t.Long), lat, lon, t.Locale);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), t.Message);
    }
    EXPECT_EQ(lat, 99);
    EXPECT_EQ(lon, 99);
  }
}

TEST(GridLocator, CentresOfAnyPrecisionAgreeWithHamlib) {
  const auto Rows = CsvFixture("locator/centres.csv");
  ASSERT_GE(Rows.size(), 10u);
  for (const QStringList& Row : Rows) {
    for (const QString& Text : {Row[0], Row[0].toLower()}) {
      SCOPED_TRACE(Text.toStdString());
      double Lat = 0, Long = 0;
      ASSERT_TRUE(GridLocatorToLatLong(Text, Lat, Long));
      EXPECT_NEAR(Long, Row[1].toDouble(), 1e-6);
      EXPECT_NEAR(Lat, Row[2].toDouble(), 1e-6);
    }
  }
}

TEST(GridLocator, InvalidTextsLeaveThePositionAlone) {
  for (const char* Text :
       {"", "JN", "JN8", "JN88E", "JN88EF1", "JN88EF12A", "JN88EF12AB1", "JN88EF12ABCD", "SN88",
        "JS88", "JNA8", "JN88EY", "JN88EFA2", "JN88EF12AY", "JN88EF1Z", " JN88", "JN 88"}) {
    SCOPED_TRACE(Text);
    EXPECT_FALSE(IsValidGridLocator(QString::fromLatin1(Text)));
    double Lat = -1, Long = -2;
    EXPECT_FALSE(GridLocatorToLatLong(QString::fromLatin1(Text), Lat, Long));
    EXPECT_EQ(Lat, -1);
    EXPECT_EQ(Long, -2);
  }
}

}  // namespace
}  // namespace orvane
