// A record set: a table of named text columns held in memory, that can be filtered, walked
// from the first row to the end and read by column name. The application's reference
// tables are record sets (loaded from XML rowset files by platform/qt/xmlrowset.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

/// The data-set error: an operation on a closed set, a filter that cannot be parsed, a
/// column that does not exist.
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Message of the error raised by every read or move on a closed record set.
inline constexpr std::string_view kClosedDatasetMessage =
    "Cannot perform this operation on a closed dataset";

class TRecordSet {
 public:
  TRecordSet() = default;
  TRecordSet(const TRecordSet&) = delete;
  TRecordSet& operator=(const TRecordSet&) = delete;
  virtual ~TRecordSet() = default;

  /// Open: the rows can be read. Every operation below except Open, Close and Active
  /// throws EDatabaseError kClosedDatasetMessage while the set is closed.
  [[nodiscard]] virtual bool Active() const noexcept = 0;
  /// Opens the set and moves to its first row; the filter is kept.
  virtual void Open() = 0;
  virtual void Close() noexcept = 0;

  /// Restricts the rows to those whose column equals a value, and moves to the first of
  /// them. Expression is "" (all rows) or exactly `Column = 'value'`: blanks around the
  /// column name and the "=" are allowed; inside the quotes, two quotes ('') stand for one,
  /// so a value holding a quote is written with it doubled (FilterEquals does that). Values
  /// compare as exact text (letter case counts). Throws EDatabaseError for any other
  /// expression or an unknown column; the previous filter then stays.
  virtual void SetFilter(std::string_view Expression) = 0;
  [[nodiscard]] virtual const std::string& Filter() const = 0;

  /// Moves to the first row of the filtered view; Eof is true when the view is empty.
  virtual void First() = 0;
  /// Moves to the next row; moving past the last row sets Eof and stays on the last row.
  virtual void Next() = 0;
  [[nodiscard]] virtual bool Eof() const = 0;
  /// Rows in the filtered view.
  [[nodiscard]] virtual std::size_t RecordCount() const = 0;

  [[nodiscard]] virtual std::size_t FieldCount() const = 0;
  /// The value of the current row's column as UTF-8 text; a missing value reads as "".
  /// Column names compare without regard to ASCII letter case; the first of equal names
  /// wins.
  /// An empty view has no current row: every column reads as "". Throws EDatabaseError
  /// "Field 'Name' not found" for a column the set does not have.
  [[nodiscard]] virtual std::string FieldByName(std::string_view Name) const = 0;
  /// The same by column position (0 is the first column); throws EDatabaseError when
  /// Index is not below FieldCount.
  [[nodiscard]] virtual std::string Fields(std::size_t Index) const = 0;
  /// The position of a column, for reading many rows with Fields; throws as FieldByName.
  [[nodiscard]] virtual std::size_t FieldIndex(std::string_view Name) const = 0;

  /// A stamp that changes whenever the columns or rows may have changed (not with the
  /// filter or the position), so that readers can keep what they derived from the rows
  /// while it stays. Readable open or closed.
  [[nodiscard]] virtual std::uint64_t Revision() const noexcept = 0;
};

/// `Column = 'value'` for a value of any text: each quote in Value is doubled.
[[nodiscard]] inline std::string FilterEquals(std::string_view Column, std::string_view Value) {
  std::string s;
  s.reserve(Column.size() + Value.size() + 8);
  s.append(Column).append(" = '");
  for (const char c : Value) {
    s.push_back(c);
    if (c == '\'') s.push_back('\'');
  }
  s.push_back('\'');
  return s;
}

}  // namespace platform
