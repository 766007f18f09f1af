#include "globe/readers/dbf.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "globe/core/codepage.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

constexpr std::size_t FIXED_HEADER = 32;
constexpr std::size_t DESCRIPTOR_SIZE = 32;
constexpr unsigned char END_OF_DESCRIPTORS = 0x0D;

std::uint32_t LittleEndian(const unsigned char* p, int Bytes) {
  std::uint32_t v = 0;
  for (int i = Bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Blanks and control characters count as padding at both ends.
std::string_view TrimPadding(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

TGlobeDBFReader::TGlobeDBFReader(const std::string& DBFfilename) : FFileName(DBFfilename) {
  DBFstream.open(platform::FsPath(DBFfilename), std::ios::in | std::ios::binary);
  if (!DBFstream.is_open()) throw EGlobeException("Unable to open file " + DBFfilename);

  unsigned char header[FIXED_HEADER];
  DBFstream.read(reinterpret_cast<char*>(header), 1);
  if (DBFstream.gcount() != 1 || (header[0] != 0x03 && header[0] != 0x83)) {
    DBFstream.close();
    throw EDBFException("Unsupported DBase III version in Stream");
  }
  DBFstream.read(reinterpret_cast<char*>(header) + 1, FIXED_HEADER - 1);
  if (DBFstream.gcount() != static_cast<std::streamsize>(FIXED_HEADER - 1)) {
    throw EDBFException("Truncated DBase header in " + FFileName);
  }
  // The count is unsigned in the file; a value beyond the Integer range is not a real table.
  iRecordCount =
      static_cast<std::int32_t>(std::min<std::uint32_t>(LittleEndian(header + 4, 4), 0x7FFFFFFF));
  iHeaderLen = static_cast<std::uint16_t>(LittleEndian(header + 8, 2));
  iRecordLen = static_cast<std::uint16_t>(LittleEndian(header + 10, 2));
  if (iHeaderLen < FIXED_HEADER) {
    throw EDBFException("Invalid DBase header length " + std::to_string(iHeaderLen) + " in " +
                        FFileName);
  }
  if (iRecordLen < 1) {
    throw EDBFException("Invalid DBase record length 0 in " + FFileName);
  }
  Data.assign(iRecordLen, ' ');

  // Both lengths are 16-bit, so the descriptors and the record buffer stay small whatever
  // the file says.
  std::vector<unsigned char> descriptors(iHeaderLen - FIXED_HEADER);
  DBFstream.read(reinterpret_cast<char*>(descriptors.data()),
                 static_cast<std::streamsize>(descriptors.size()));
  if (DBFstream.gcount() != static_cast<std::streamsize>(descriptors.size())) {
    throw EDBFException("Truncated DBase header in " + FFileName);
  }

  const std::size_t available = descriptors.size() / DESCRIPTOR_SIZE;
  std::int32_t offset = 1;  // after the deletion byte
  for (std::size_t i = 0; i < available; ++i) {
    const unsigned char* d = descriptors.data() + i * DESCRIPTOR_SIZE;
    TFieldDescriptor f;
    std::memcpy(f.Name, d, sizeof f.Name);
    f.Type = static_cast<char>(d[11]);
    f.Length = d[16];
    f.Decimals = d[17];
    f.Offset = offset;
    if (offset + f.Length > iRecordLen) {
      throw EDBFException("Field " + std::to_string(i) + " runs past the record length " +
                          std::to_string(iRecordLen) + " in " + FFileName);
    }
    offset += f.Length;
    Fields.push_back(f);
    const std::size_t next = (i + 1) * DESCRIPTOR_SIZE;
    if (next >= descriptors.size() || descriptors[next] == END_OF_DESCRIPTORS ||
        descriptors[next] == 0) {
      break;
    }
  }
  iFieldCount = static_cast<std::int32_t>(Fields.size());
  First();
}

TGlobeDBFReader::~TGlobeDBFReader() = default;

bool TGlobeDBFReader::First() {
  iRecordID = 1;
  FCurrentRecord = 0;
  FbHaveRecord = false;
  if (!DBFstream.is_open()) return false;
  DBFstream.clear();
  DBFstream.seekg(iHeaderLen);
  return true;
}

bool TGlobeDBFReader::ReadRecord() {
  DBFstream.read(Data.data(), static_cast<std::streamsize>(Data.size()));
  FbHaveRecord = DBFstream.gcount() == static_cast<std::streamsize>(Data.size());
  if (!FbHaveRecord) DBFstream.clear();  // stay usable for later jumps
  return FbHaveRecord;
}

bool TGlobeDBFReader::Next() {
  if (!DBFstream.is_open()) return false;
  for (;;) {
    if (!ReadRecord()) {
      FCurrentRecord = 0;
      return false;
    }
    FCurrentRecord = iRecordID;
    if (iRecordID < std::numeric_limits<std::int32_t>::max()) ++iRecordID;
    if (Data[0] != '*') return true;
  }
}

void TGlobeDBFReader::SetRecordID(std::int32_t Value) {
  if (Value <= 0 || !DBFstream.is_open()) return;
  const std::int64_t position =
      std::int64_t{iHeaderLen} + (std::int64_t{Value} - 1) * std::int64_t{iRecordLen};
  DBFstream.clear();
  DBFstream.seekg(position);
  iRecordID = Value;
  if (ReadRecord()) {
    FCurrentRecord = Value;
    if (iRecordID < std::numeric_limits<std::int32_t>::max()) ++iRecordID;
  } else {
    FCurrentRecord = 0;
  }
}

bool TGlobeDBFReader::Deleted() const noexcept { return FbHaveRecord && Data[0] == '*'; }

std::string TGlobeDBFReader::FieldName(std::int32_t i) const {
  if (i < 0 || i >= iFieldCount) return {};
  const TFieldDescriptor& f = Fields[static_cast<std::size_t>(i)];
  const std::size_t n = strnlen(f.Name, sizeof f.Name);
  return AnsiToUtf8(std::string_view(f.Name, n));
}

char TGlobeDBFReader::FieldType(std::int32_t i) const {
  if (i < 0 || i >= iFieldCount) return '\0';
  return Fields[static_cast<std::size_t>(i)].Type;
}

std::int32_t TGlobeDBFReader::FieldLength(std::int32_t i) const {
  if (i < 0 || i >= iFieldCount) return 0;
  return Fields[static_cast<std::size_t>(i)].Length;
}

std::string TGlobeDBFReader::AsString(std::int32_t i) const {
  if (i < 0 || i >= iFieldCount || !FbHaveRecord) return {};
  const TFieldDescriptor& f = Fields[static_cast<std::size_t>(i)];
  std::string_view text(Data.data() + f.Offset, f.Length);
  text = text.substr(0, text.find('\0'));
  return AnsiToUtf8(TrimPadding(text));
}

}  // namespace globe
