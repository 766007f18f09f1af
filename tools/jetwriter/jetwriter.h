// A small writer of JET4 (Access 2000) database files, for test fixtures and the logger
// simulator: user tables of Text and number columns, no indexes, no memo or binary values.
// The files follow the page layout of the format (a header page, the usage maps, the
// catalog MSysObjects, then each table's definition and data pages) so that readers of
// Access files, libmdb among them, read them as they read Access's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orvane::jet {

/// The column kinds this writer stores, by their code in the file.
enum class TType : std::uint8_t {
  Byte = 0x02,      // 0..255
  Integer = 0x03,   // 16-bit
  Long = 0x04,      // Long Integer, 32-bit
  Currency = 0x05,  // 64-bit count of ten-thousandths
  Single = 0x06,
  Double = 0x07,
  Text = 0x0A,
  Decimal = 0x10,  // scaled decimal
};

struct TColumn {
  std::string Name;
  TType Type = TType::Text;
  int Length = 255;    // Text: the most characters (1..255)
  int Precision = 18;  // Decimal: digits in all (1..28)
  int Scale = 0;       // Decimal: digits after the point (0..Precision)
};

/// NULL, a number (number columns) or UTF-8 text (Text columns).
using TValue = std::variant<std::monostate, double, std::string>;

/// Builds a database in memory. Every operation throws std::invalid_argument for what the
/// format or this writer cannot hold (a name too long, a value out of its column's range,
/// a text too long, a table too large for one page of usage maps).
class TJet4Writer {
 public:
  static constexpr std::size_t kPageSize = 4096;

  TJet4Writer();

  /// A new empty table; its index for AddRow. Names are 1..64 characters.
  std::size_t AddTable(const std::string& Name, const std::vector<TColumn>& Columns);
  /// Appends a row of Values, one per column in the table's column order.
  void AddRow(std::size_t Table, const std::vector<TValue>& Values);

  /// The size of the file so far, in bytes.
  [[nodiscard]] std::size_t Size() const noexcept { return FFile.size(); }
  /// The file's bytes.
  [[nodiscard]] std::vector<std::uint8_t> Bytes() const;
  /// Writes the file to Path (replacing it); throws std::runtime_error when it cannot.
  void Save(const std::string& Path) const;

 private:
  struct TTable {
    std::string Name;
    std::vector<TColumn> Columns;
    std::vector<int> FixedOffset;  // per column: its place among the fixed values, or -1
    std::vector<int> VarIndex;     // per column: its place among the variable ones, or -1
    std::size_t FixedSize = 0;
    std::size_t VarCount = 0;
    std::size_t Definition = 0;  // page of the table's definition
    std::vector<std::size_t> DataPages;
    std::size_t Rows = 0;
  };

  std::size_t NewPage();
  void PutRow(TTable& Table, const std::vector<std::uint8_t>& Row);

  std::vector<std::uint8_t> FFile;  // every page; pages 0 to 3 are filled by Bytes
  std::vector<TTable> FTables;
};

}  // namespace orvane::jet
