// dBase III tables as they lie beside shapefiles: a header with the record count and the
// header and record lengths, 32-byte field descriptors ended by 0x0D, then fixed-length
// records, each a deletion byte ("*" deleted, blank otherwise) followed by the fields in
// descriptor order. Text fields are Windows-1252.
//
// The reader keeps one record in memory and moves through the table record by record
// (First, Next) or jumps to a record by number (SetRecordID).
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "globe/core/classes.h"

namespace globe {

/// A table the reader cannot open: another version, or a header that does not fit.
class EDBFException : public EGlobeException {
 public:
  using EGlobeException::EGlobeException;
};

class TGlobeDBFReader {
 public:
  /// Opens the table read-only and reads its header and field descriptors, then First.
  /// Throws EGlobeException "Unable to open file <name>" when it cannot be opened,
  /// EDBFException "Unsupported DBase III version in Stream" for a version byte other than
  /// 0x03 or 0x83, and EDBFException naming the file when the header or a field descriptor
  /// does not fit the file (a header shorter than its fixed part, a field that runs past
  /// the record length).
  explicit TGlobeDBFReader(const std::string& DBFfilename);
  ~TGlobeDBFReader();
  TGlobeDBFReader(const TGlobeDBFReader&) = delete;
  TGlobeDBFReader& operator=(const TGlobeDBFReader&) = delete;

  [[nodiscard]] const std::string& FileName() const noexcept { return FFileName; }
  /// The record count stored in the header (not checked against the file size).
  [[nodiscard]] std::int32_t RecordCount() const noexcept { return iRecordCount; }
  [[nodiscard]] std::int32_t FieldCount() const noexcept { return iFieldCount; }
  [[nodiscard]] std::int32_t HeaderLength() const noexcept { return iHeaderLen; }
  [[nodiscard]] std::int32_t RecordLength() const noexcept { return iRecordLen; }

  /// Back before the first record; the buffer then holds no record. True when open.
  bool First();
  /// Reads the next record that is not marked deleted. False at the end of the table (a
  /// partial last record counts as the end).
  bool Next();
  /// The number (from 1) of the record in the buffer; 0 when none is.
  [[nodiscard]] std::int32_t RecordID() const noexcept { return FCurrentRecord; }
  /// Reads record Value (from 1) whatever its deletion mark; values below 1 do nothing. A
  /// record beyond the end of the file leaves the buffer empty: every field reads as "".
  void SetRecordID(std::int32_t Value);
  /// Whether the record in the buffer is marked deleted.
  [[nodiscard]] bool Deleted() const noexcept;

  /// The column's name up to its first NUL (Windows-1252 converted to UTF-8); "" for a
  /// column that does not exist. Columns count from 0.
  [[nodiscard]] std::string FieldName(std::int32_t i) const;
  /// The type character ('C', 'N', 'D', 'L', 'F', ...); '\0' for no such column.
  [[nodiscard]] char FieldType(std::int32_t i) const;
  /// The length byte; 0 for no such column.
  [[nodiscard]] std::int32_t FieldLength(std::int32_t i) const;
  /// The column's text in the current record (ending early at a NUL byte) converted from
  /// Windows-1252 to UTF-8, with leading and trailing blanks and control characters
  /// removed; "" for no such column or no record.
  [[nodiscard]] std::string AsString(std::int32_t i) const;
  [[nodiscard]] std::string GetString(std::int32_t i) const { return AsString(i); }

 private:
  struct TFieldDescriptor {
    char Name[11] = {};
    char Type = 0;
    std::int32_t Offset = 0;  // within the record, after the deletion byte
    std::uint8_t Length = 0;
    std::uint8_t Decimals = 0;
  };

  /// Reads the record at the current file position into the buffer; false when a full
  /// record is not there.
  bool ReadRecord();

  std::string FFileName;
  std::ifstream DBFstream;
  std::int32_t iRecordID = 0;
  std::int32_t FCurrentRecord = 0;
  std::uint16_t iHeaderLen = 0;
  std::uint16_t iRecordLen = 0;
  std::vector<char> Data;
  bool FbHaveRecord = false;
  std::int32_t iRecordCount = 0;
  std::int32_t iFieldCount = 0;
  std::vector<TFieldDescriptor> Fields;
};

}  // namespace globe
