// Record sets persisted as XML rowsets: the in-memory table behind platform::TRecordSet, the
// importer that fills it from a rowset file and the writer that makes such files.
//
// The file format: a root element holding a schema part and a data part.
//
//   <xml xmlns:s="uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882"
//        xmlns:dt="uuid:C2F41010-65B3-11d1-A29F-00AA00C14882"
//        xmlns:rs="urn:schemas-microsoft-com:rowset" xmlns:z="#RowsetSchema">
//     <s:Schema id="RowsetSchema">
//       <s:ElementType name="row" content="eltOnly">
//         <s:AttributeType name="c0" rs:name="Callsign"> <s:datatype dt:type="string"/>
//         </s:AttributeType> ...
//       </s:ElementType>
//     </s:Schema>
//     <rs:data> <z:row c0="DL1ABC" .../> ... </rs:data>
//   </xml>
//
// The columns are the s:AttributeType elements in order; a column is named by its rs:name
// when it has one, else by its name, and its values are the z:row attributes called by
// that name. A missing attribute is an empty (NULL) value. Rows inside rs:insert and
// rs:update count; the old values in rs:original and the rows of rs:delete do not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/recordset.h"

namespace platform {

/// A table of text columns held in memory. Rows keep only the values they have, so memory
/// follows the size of the data, not rows × columns.
class TMemoryRecordSet final : public TRecordSet {
 public:
  /// A value of a row: the column's position and its UTF-8 text.
  struct TCell {
    std::uint32_t Column = 0;
    std::string Value;
  };
  using TRow = std::vector<TCell>;  ///< cells in ascending column order, no column twice

  /// A closed set without columns: what a table is before it has been loaded.
  TMemoryRecordSet() = default;
  /// An open set of these columns and rows; row i's j-th value belongs to column j, a row
  /// shorter than Columns leaves the rest empty. Throws std::invalid_argument for a row
  /// longer than Columns.
  TMemoryRecordSet(std::vector<std::string> Columns,
                   const std::vector<std::vector<std::string>>& Rows);

  /// Builders for importers, used while the set is closed: columns first, then rows.
  /// AppendRow takes the cells sorted by column, each column at most once and every column
  /// below the number of columns.
  void AddColumn(std::string Name);
  void AppendRow(TRow Row);

  [[nodiscard]] bool Active() const noexcept override { return FActive; }
  void Open() override;
  void Close() noexcept override { FActive = false; }
  void SetFilter(std::string_view Expression) override;
  [[nodiscard]] const std::string& Filter() const override { return FFilter; }
  void First() override;
  void Next() override;
  [[nodiscard]] bool Eof() const override;
  [[nodiscard]] std::size_t RecordCount() const override;
  [[nodiscard]] std::size_t FieldCount() const override;
  [[nodiscard]] std::string FieldByName(std::string_view Name) const override;
  [[nodiscard]] std::string Fields(std::size_t Index) const override;
  [[nodiscard]] std::size_t FieldIndex(std::string_view Name) const override;
  [[nodiscard]] std::uint64_t Revision() const noexcept override { return FRevision; }

  /// Column names in order, whether the set is open or not.
  [[nodiscard]] const std::vector<std::string>& ColumnNames() const noexcept { return FColumns; }

 private:
  void CheckActive() const;
  [[nodiscard]] std::size_t ViewSize() const noexcept;
  void ApplyFilter(std::size_t Column, const std::string& Value);
  [[nodiscard]] const std::string& Value(std::size_t Row, std::size_t Column) const noexcept;

  std::vector<std::string> FColumns;
  struct TNameLess {  // column names compare without regard to ASCII letter case
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };
  std::map<std::string, std::size_t, TNameLess> FColumnIndex;  // first column of a name
  std::vector<TRow> FRows;
  bool FActive = false;
  std::uint64_t FRevision = 0;  // counts AddColumn and AppendRow
  std::string FFilter;
  bool FFiltered = false;
  std::vector<std::size_t> FView;  // rows passing the filter, when FFiltered
  // Per filtered column, the rows ordered by its value (table order among equal values), so
  // that a filter costs a binary search instead of a pass over every row.
  struct TColumnIndex {
    std::vector<std::size_t> Rows;
    std::vector<std::string_view> Values;  // Rows' values, searched without finding cells
  };
  std::map<std::size_t, TColumnIndex> FIndexes;
  std::string FFilterValue;  // reused by SetFilter: a filter on a set in use costs no allocation
  std::size_t FPos = 0;      // position in the view
  bool FEof = true;
};

/// Reads a rowset file into an open record set. Throws std::runtime_error, with a message
/// that names the file, when the file cannot be read, is not well-formed XML, has a
/// document type declaration, has no schema with at least one column, or has rows before
/// its schema. The values together take no more bytes than the file.
/// The largest rowset file read: the logger's largest reference table is a few megabytes.
inline constexpr std::int64_t kMaxRowsetFileSize = std::int64_t{128} << 20;
/// A file larger than MaxBytes is refused with an error naming it, before it is read.
[[nodiscard]] std::unique_ptr<TMemoryRecordSet> LoadXmlRowset(
    const std::string& FileName, std::int64_t MaxBytes = kMaxRowsetFileSize);

/// Writes a rowset file of these columns and rows (UTF-8 values, every column typed as a
/// string), replacing the file only once it is written whole. Row i's j-th value belongs to
/// column j; rows may be shorter than Columns (the rest is NULL). Throws
/// std::invalid_argument for a row longer than Columns or a value that is not UTF-8 or
/// holds a character XML cannot carry (control characters other than tab, line feed and
/// carriage return), and std::runtime_error naming the file when it cannot be written.
void SaveXmlRowset(const std::string& FileName, const std::vector<std::string>& Columns,
                   const std::vector<std::vector<std::string>>& Rows);

}  // namespace platform
