// Callsign location lookup: where a station is, from the individual-callsign, province and
// country (DXCC entity) reference tables.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/recordset.h"

namespace orvane {

/// A prefix pattern of a reference table that the regular-expression engine cannot use
/// (invalid or empty). The message names the table, the row and the pattern.
class ELookupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The piece of a callsign that starts at Pos (1-based): Pos first moves past any "/",
/// then the piece runs up to, not including, the next "/" or the end, where Pos is left
/// (on the "/", or one past the end). The piece is returned without surrounding blanks and
/// in upper case. A Pos below 1 counts as 1.
[[nodiscard]] QString NextCallSegment(const QString& Text, qsizetype& Pos);

/// The callsign the prefix tables are searched with, after its portable designator:
/// - "/" at position 2 to 4 (a prefix form): the piece before it (NextCallSegment from 1),
///   unless that piece begins with a digit, A, M or P, or is QRP; the callsign is then kept.
///   An empty piece (a callsign of "/" only) also keeps it.
/// - "/" later (a suffix form), S the text after it: S empty → the part before the "/";
///   S beginning with a digit → the callsign up to its first digit from position 2 on,
///   followed by S; S beginning with A, M or P → kept; S "QRP" → the part before the "/";
///   anything else → kept.
[[nodiscard]] QString ReducePortableCall(const QString& Call);
/// The same into Buffer, without allocating for a callsign of ASCII characters: the result
/// views Call itself when it is kept, else Buffer.
[[nodiscard]] QStringView ReducePortableCall(QStringView Call, std::u16string& Buffer);

/// Parses a date of a reference table in the locale's short date format. A four-digit year
/// is taken too where the format has two digits, and a day or month of one digit where it
/// has two. A two-digit year falls into the hundred years from Now's year − 50. Throws
/// EConvertError "'<Text>' is not a valid date" otherwise.
[[nodiscard]] QDate StrToDate(const QString& Text, const QLocale& Locale, const QDate& Now);

/// Finds callsigns in three reference tables that stay attached for its life: tblUnique
/// (individual callsigns: "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"),
/// tblProvince ("PrefixList", "EndDate", "Longitude", "Latitude") and tblDXCC
/// ("PrefixList", "Status", "EndDate", "Longitude", "Latitude").
///
/// Each "PrefixList" regular expression (case-sensitive, "." matching every character,
/// "^" and "$" at the ends of the text only) is compiled when the lookup is made, or at the
/// first lookup after its table was opened or its rows changed (TRecordSet::Revision), and
/// indexed by the characters a match can begin with, so that a lookup tries only the rows
/// that can place the callsign. A lookup does not allocate unless the callsign has an
/// individual entry or characters beyond ASCII, or is over 32 characters and the longest
/// so far (the reused buffers grow).
class TCallsignLookup {
 public:
  TCallsignLookup(platform::TRecordSet& Unique, platform::TRecordSet& Province,
                  platform::TRecordSet& DXCC, QLocale Locale = QLocale::system());
  ~TCallsignLookup();
  TCallsignLookup(const TCallsignLookup&) = delete;
  TCallsignLookup& operator=(const TCallsignLookup&) = delete;

  /// The position of a callsign: true with the matching row's "Longitude" and "Latitude"
  /// texts in DxLong and DxLat, false (both unchanged) when no row accepts it.
  ///
  /// First the individual entries whose "Callsign" is Call exactly (tblUnique keeps that
  /// filter): an entry with both dates is used unless both lie before Now (the dates are
  /// the midnights of their days), one with neither date is used, one with a single date
  /// never. Then, with the callsign after ReducePortableCall, the first row of tblProvince
  /// without an "EndDate", then the first row of tblDXCC with "Status" "Active" and
  /// without an "EndDate", whose pattern's first match is the whole callsign. The prefix
  /// tables' positions are left as they are.
  ///
  /// Throws platform::EDatabaseError when a table is closed (not loaded), EConvertError for
  /// a date that is not one in the locale's format, and ELookupError when the walk reaches
  /// a pattern that cannot be compiled. Such a row is reported by the first lookup that
  /// reaches it only; later lookups pass over it, so that one bad row does not fail every
  /// callsign typed after it.
  bool FindCountry(const QString& Call, const QDateTime& Now, QString& DxLong, QString& DxLat);
  /// The same at the current local date and time.
  bool FindCountry(const QString& Call, QString& DxLong, QString& DxLat);

 private:
  struct TPrefixTable;  // the compiled rows of a prefix table

  bool FindUnique(const QString& Call, const QDateTime& Now, QString& DxLong, QString& DxLat);
  bool FindUniqueRows(const QString& Call, const QDateTime& Now, QString& DxLong, QString& DxLat);
  void LoadUnique();
  bool FindByPrefix(TPrefixTable& Table, QStringView Call, QString& DxLong, QString& DxLat);

  platform::TRecordSet& FUnique;
  std::unique_ptr<TPrefixTable> FProvince;
  std::unique_ptr<TPrefixTable> FDXCC;
  QLocale FLocale;
  // Every "Callsign" of tblUnique as UTF-8, so that a callsign without an entry costs no
  // walk; valid while FUniqueRevision is the table's.
  std::unordered_set<std::string> FUniqueCalls;
  bool FUniqueLoaded = false;
  std::uint64_t FUniqueRevision = 0;
  std::string FCallText;  // reused: the callsign as UTF-8, then tblUnique's filter
  std::string FFilterText;
  std::u16string FReduced;  // reused: the callsign after its portable designator
};

}  // namespace orvane
