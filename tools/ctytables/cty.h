// The DXCC country file (cty.dat) and the reference tables made from it for the logger
// simulator: entities with whole-callsign prefix patterns, provinces, individual callsigns.
//
// The country file places a callsign by its longest matching prefix over all entities; the
// lookup that reads our tables takes the first row whose pattern matches the whole
// callsign. The patterns therefore carry the longest-prefix rule themselves: each prefix
// refuses, by a negative lookahead, the longer prefixes that belong to someone else, so at
// most one entity row matches any callsign and the row order does not matter.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::ctytables {

/// Degrees, north and EAST positive (the country file counts longitude west positive; the
/// reader turns it round).
struct TCtyPosition {
  double Latitude = 0;
  double Longitude = 0;
  friend bool operator==(const TCtyPosition&, const TCtyPosition&) = default;
};

/// One prefix or exact callsign of an entity with its overrides. Absent overrides take the
/// entity's values.
struct TCtyAlias {
  std::string Text;  ///< upper-case letters, digits and "/"; without the "=" of exact calls
  std::optional<int> CqZone;             ///< (n)
  std::optional<int> ItuZone;            ///< [n]
  std::optional<TCtyPosition> Position;  ///< <lat/lon>, longitude west positive in the file
  std::optional<std::string> Continent;  ///< {XX}
  std::optional<double> UtcOffset;       ///< ~hours~
};

struct TCtyEntity {
  std::string Name;
  int CqZone = 0;
  int ItuZone = 0;
  std::string Continent;
  TCtyPosition Position;
  double UtcOffset = 0;
  std::string PrimaryPrefix;  ///< without the "*" of WAE entries
  bool Wae = false;           ///< "*": a WAE region, not a DXCC entity
  std::vector<TCtyAlias> Prefixes;
  std::vector<TCtyAlias> ExactCalls;
};

/// A country file that cannot be read: the message names the file and the line.
class ECtyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Largest country file accepted; the real one is about 330 KB.
inline constexpr std::size_t kMaxCtyFileSize = 64u << 20;

/// Parses country file text. FileName only names the file in errors. Throws ECtyError on
/// any syntax it does not know (a header without its eight fields, a list without its
/// closing ";", an unknown character in a prefix, an override that is not closed, a number
/// out of range); nothing in the text is trusted.
[[nodiscard]] std::vector<TCtyEntity> ParseCty(std::string_view Text, const std::string& FileName);
/// Reads and parses a country file; ECtyError when it cannot be read or is larger than
/// kMaxCtyFileSize.
[[nodiscard]] std::vector<TCtyEntity> ReadCtyFile(const std::string& FileName);

/// Position texts as the reference tables store them: absolute degrees with two decimals,
/// a full stop, and the hemisphere letter N/S or E/W at the end ("37.60N", "91.87W").
[[nodiscard]] std::string LatitudeText(double Latitude);
[[nodiscard]] std::string LongitudeText(double Longitude);

/// Prefix strings with an owner each; owners are small non-negative numbers.
struct TOwnedPrefix {
  std::string Prefix;
  int Owner = 0;
};

/// The longest-prefix rule as one regular-expression body per owner (index = owner):
/// matches from the start of a callsign exactly those callsigns whose longest prefix in
/// Prefixes has that owner, provided the rest of the callsign follows. Empty for owners
/// without prefixes. When a prefix occurs twice, its first owner keeps it.
[[nodiscard]] std::vector<std::string> OwnerPatternBodies(const std::vector<TOwnedPrefix>& Prefixes,
                                                          int OwnerCount);

/// A whole-callsign pattern from a body: "^(?:BODY)[A-Z0-9/]*$".
[[nodiscard]] std::string WholeCallPattern(std::string_view Body);

/// A province made of the call areas of an entity: callsigns of that entity (by its
/// entity pattern) that begin with Head (a regular expression).
struct TCallArea {
  std::string_view EntityPrefix;  ///< the entity's primary prefix in the country file
  std::string_view Name;
  std::string_view Head;
  TCtyPosition Position;
};

/// The call areas of the larger entities shipped with the tables.
[[nodiscard]] const std::vector<TCallArea>& DefaultCallAreas();

/// A table to be written as an XML rowset: column names and rows of texts.
struct TTable {
  std::vector<std::string> Columns;
  std::vector<std::vector<std::string>> Rows;
  /// Index of a column; throws std::out_of_range when there is none.
  [[nodiscard]] std::size_t Column(std::string_view Name) const;
};

struct TReferenceTables {
  TTable Dxcc;      ///< Country, Prefix, Continent, CQZone, ITUZone, PrefixList, Status, EndDate,
                    ///< Longitude, Latitude
  TTable Province;  ///< Province, Country, PrefixList, EndDate, Longitude, Latitude
  TTable Unique;    ///< ID, Callsign, Country, Longitude, Latitude, StartDate, EndDate
};

struct TBuildOptions {
  /// Keep every exact callsign. Otherwise an exact callsign without a position of its own
  /// is left out when the prefix rows already place it (as ReducedCallsign leaves it) in
  /// its own entity or region: the file lists such calls for their zones, which the tables
  /// do not carry.
  bool AllExactCalls = false;
};

/// Builds the three tables. DXCC rows: the non-WAE entities that have prefixes, in file
/// order, Status "Active", no end date. Province rows: first the WAE regions and the
/// prefixes with a position of their own (these take disjoint callsigns), then the call
/// areas whose entity exists. Unique rows: the exact callsigns, one row per callsign (a WAE region's
/// entry before its entity's), with their own position or their entity's.
[[nodiscard]] TReferenceTables BuildTables(const std::vector<TCtyEntity>& Entities,
                                           const std::vector<TCallArea>& CallAreas,
                                           const TBuildOptions& Options = {});

/// The callsign the prefix tables are searched with: a portable designator is resolved as
/// the callsign lookup does before it walks the province and entity rows ("F/DL1ABC" is
/// looked up as "F", "DL1ABC/3" as "DL3", "DL1ABC/QRP" as "DL1ABC"; "/P", "/M", "/AM" and
/// "/MM" stay on).
[[nodiscard]] std::string ReducedCallsign(std::string_view Callsign);

/// The country file's own placing rule: the entity whose prefix is the longest one a
/// callsign begins with. Exact callsigns are not considered.
class TPrefixIndex {
 public:
  /// WithWae false leaves the WAE regions out, as the DXCC table does. Entities must
  /// outlive the index.
  TPrefixIndex(const std::vector<TCtyEntity>& Entities, bool WithWae);
  /// Index into Entities, or -1 when no prefix fits.
  [[nodiscard]] int Find(std::string_view Callsign) const;
  /// The longest prefix that fits itself, or nullptr.
  [[nodiscard]] const TCtyAlias* FindPrefix(std::string_view Callsign) const;

 private:
  [[nodiscard]] const std::pair<const int, const TCtyAlias*>* Longest(
      std::string_view Callsign) const;
  std::map<std::string, std::pair<const int, const TCtyAlias*>, std::less<>> FPrefixes;
};

/// Applies the DXCC table as the callsign lookup does (first row in table order whose
/// pattern's first match is the whole callsign, Status "Active", no end date) to test
/// callsigns made from every prefix of the file, and compares with TPrefixIndex. Returns
/// one line per disagreement or invalid pattern; empty when the table is right.
[[nodiscard]] std::vector<std::string> CheckDxccTable(const std::vector<TCtyEntity>& Entities,
                                                      const TTable& Dxcc);

/// A table's patterns compiled once, applied as the callsign lookup applies them: the first
/// row in table order whose "PrefixList" finds a first match equal to the whole callsign
/// (and, where the table has those columns, whose "Status" is "Active" and "EndDate" empty).
class TTableMatcher {
 public:
  /// Throws std::runtime_error naming the row for a pattern that is not valid.
  explicit TTableMatcher(const TTable& Table);
  TTableMatcher(const TTableMatcher&) = delete;
  TTableMatcher& operator=(const TTableMatcher&) = delete;
  ~TTableMatcher();
  /// Row index, or -1 when no row takes the callsign.
  [[nodiscard]] int First(std::string_view Callsign) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace orvane::ctytables
