#include "tools/jetwriter/jetwriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace orvane::jet {

namespace {

constexpr std::size_t kPage = TJet4Writer::kPageSize;
// Data pages: type, a constant 1, free space, owner, 4 unknown bytes, row count, offsets.
constexpr std::size_t kDataHeader = 14;
// A row is addressed by one byte of its page.
constexpr std::size_t kMaxRowsPerPage = 255;
constexpr std::size_t kCatalogPage = 2;  // MSysObjects' definition, where readers start
constexpr std::size_t kCatalogDataPage = 3;
constexpr std::size_t kMapPage = 1;
// Type-0 usage maps: a type byte, the first page mapped, then one bit a page.
constexpr std::size_t kMinMapBytes = 64;
constexpr std::uint8_t kUserTable = 0x4e;
constexpr std::uint8_t kSystemTable = 0x53;
constexpr std::uint8_t kFlagFixed = 0x01;
constexpr std::uint8_t kFlagNullable = 0x02;
constexpr std::uint8_t kCompressedUnicode = 0x01;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
constexpr std::size_t kColumnEntry = 25;
constexpr std::size_t kColumnsStart = 63;

void Put16(std::uint8_t* At, std::uint32_t Value) {
  At[0] = static_cast<std::uint8_t>(Value);
  At[1] = static_cast<std::uint8_t>(Value >> 8);
}
void Put32(std::uint8_t* At, std::uint32_t Value) {
  Put16(At, Value & 0xffff);
  Put16(At + 2, Value >> 16);
}
void Put64(std::uint8_t* At, std::uint64_t Value) {
  Put32(At, static_cast<std::uint32_t>(Value));
  Put32(At + 4, static_cast<std::uint32_t>(Value >> 32));
}
std::uint32_t Get16(const std::uint8_t* At) { return At[0] | (At[1] << 8); }

std::size_t FixedSize(TType Type) {
  switch (Type) {
    case TType::Byte:
      return 1;
    case TType::Integer:
      return 2;
    case TType::Long:
      return 4;
    case TType::Currency:
      return 8;
    case TType::Single:
      return 4;
    case TType::Double:
      return 8;
    case TType::Decimal:
      return 17;
    case TType::Text:
      return 0;
  }
  return 0;
}

// UTF-8 to UTF-16 code units; throws for text that is not UTF-8.
std::u16string Utf16(const std::string& Text) {
  auto Bad = [&] { return std::invalid_argument("the text is not UTF-8: \"" + Text + "\""); };
  std::u16string Result;
  for (std::size_t i = 0; i < Text.size();) {
    const auto c = static_cast<unsigned char>(Text[i]);
    std::size_t Extra = 0;
    if (c >= 0x80) {
      if ((c >> 5) == 6)
        Extra = 1;
      else if ((c >> 4) == 14)
        Extra = 2;
      else if ((c >> 3) == 30)
        Extra = 3;
      else
        throw Bad();
    }
    if (Extra > Text.size() - 1 - i) throw Bad();
    char32_t Code = Extra == 0 ? c : (c & (0x3f >> Extra));
    for (std::size_t k = 1; k <= Extra; ++k) {
      const auto Next = static_cast<unsigned char>(Text[i + k]);
      if ((Next & 0xc0) != 0x80) throw Bad();
      Code = (Code << 6) | (Next & 0x3f);
    }
    i += Extra + 1;
    if (Code >= 0x10000) {
      Code -= 0x10000;
      Result.push_back(static_cast<char16_t>(0xd800 + (Code >> 10)));
      Result.push_back(static_cast<char16_t>(0xdc00 + (Code & 0x3ff)));
    } else {
      Result.push_back(static_cast<char16_t>(Code));
    }
  }
  return Result;
}

// A text value: compressed (0xFF 0xFE, then one byte a character) when every character fits
// a byte other than 0 and that is shorter, else UCS-2 little-endian.
std::vector<std::uint8_t> TextBytes(const std::u16string& Units) {
  std::vector<std::uint8_t> Bytes;
  const bool Compressible =
      Units.size() > 2 &&
      std::all_of(Units.begin(), Units.end(), [](char16_t u) { return u != 0 && u < 0x100; });
  if (Compressible) {
    Bytes = {0xff, 0xfe};
    for (const char16_t u : Units) Bytes.push_back(static_cast<std::uint8_t>(u));
  } else {
    for (const char16_t u : Units) {
      Bytes.push_back(static_cast<std::uint8_t>(u));
      Bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
  }
  return Bytes;
}

std::vector<std::uint8_t> NameBytes(const std::string& Name) {
  const std::u16string Units = Utf16(Name);
  if (Units.empty() || Units.size() > 64)
    throw std::invalid_argument("a name must have 1 to 64 characters: \"" + Name + "\"");
  std::vector<std::uint8_t> Bytes(2);
  Put16(Bytes.data(), static_cast<std::uint32_t>(2 * Units.size()));
  for (const char16_t u : Units) {
    Bytes.push_back(static_cast<std::uint8_t>(u));
    Bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return Bytes;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The bytes of a number in a fixed column.
void PutNumber(const TColumn& Column, double Value, std::uint8_t* At) {
  auto Whole = [&](double Low, double High) {
    if (!(Value >= Low && Value <= High) || Value != std::trunc(Value))
      throw std::invalid_argument("the column " + Quoted(Column.Name) + " cannot hold the value " +
                                  std::to_string(Value));
    return static_cast<std::int64_t>(Value);
  };
  if (!std::isfinite(Value))
    throw std::invalid_argument("the column " + Quoted(Column.Name) + " holds finite numbers only");
  switch (Column.Type) {
    case TType::Byte:
      At[0] = static_cast<std::uint8_t>(Whole(0, 255));
      return;
    case TType::Integer:
      Put16(At, static_cast<std::uint16_t>(Whole(-32768, 32767)));
      return;
    case TType::Long:
      Put32(At, static_cast<std::uint32_t>(Whole(-2147483648.0, 2147483647.0)));
      return;
    case TType::Currency: {
      const double Scaled = std::round(Value * 10000.0);
      if (std::fabs(Scaled) >= 9.2e18)
        throw std::invalid_argument("the column " + Quoted(Column.Name) + " cannot hold the value");
      Put64(At, static_cast<std::uint64_t>(static_cast<std::int64_t>(Scaled)));
      return;
    }
    case TType::Single: {
      const auto f = static_cast<float>(Value);
      std::uint32_t Bits;
      std::memcpy(&Bits, &f, 4);
      Put32(At, Bits);
      return;
    }
    case TType::Double: {
      std::uint64_t Bits;
      std::memcpy(&Bits, &Value, 8);
      Put64(At, Bits);
      return;
    }
    case TType::Decimal: {
      // A sign byte, then the magnitude times 10^Scale as four 32-bit words, the most
      // significant first, each little-endian. This writer keeps to 63-bit magnitudes.
      const long double Scaled =
          std::round(std::fabs(static_cast<long double>(Value)) * std::pow(10.0L, Column.Scale));
      if (Scaled >= std::pow(10.0L, Column.Precision) || Scaled >= 9.2e18L)
        throw std::invalid_argument("the column " + Quoted(Column.Name) +
                                    " cannot hold the value " + std::to_string(Value));
      const auto Magnitude = static_cast<std::uint64_t>(Scaled);
      std::memset(At, 0, 17);
      At[0] = Value < 0 ? 0x80 : 0x00;
      Put32(At + 9, static_cast<std::uint32_t>(Magnitude >> 32));
      Put32(At + 13, static_cast<std::uint32_t>(Magnitude));
      return;
    }
    case TType::Text:
      break;
  }
  throw std::invalid_argument("the column " + Quoted(Column.Name) + " holds no numbers");
}

void InitDataPage(std::uint8_t* Page, std::uint32_t Owner) {
  std::memset(Page, 0, kPage);
  Page[0] = 0x01;
  Page[1] = 0x01;
  Put16(Page + 2, kPage - kDataHeader);
  Put32(Page + 4, Owner);
}

// Adds Row at the end of a data page; false when it does not fit.
bool AddToPage(std::uint8_t* Page, const std::vector<std::uint8_t>& Row) {
  const std::size_t Rows = Get16(Page + 12);
  const std::size_t Top = Rows == 0 ? kPage : (Get16(Page + kDataHeader + 2 * (Rows - 1)) & 0x1fff);
  const std::size_t TableEnd = kDataHeader + 2 * (Rows + 1);
  if (Rows >= kMaxRowsPerPage || Top < TableEnd + Row.size()) return false;
  const std::size_t Start = Top - Row.size();
  std::memcpy(Page + Start, Row.data(), Row.size());
  Put16(Page + kDataHeader + 2 * Rows, static_cast<std::uint32_t>(Start));
  Put16(Page + 12, static_cast<std::uint32_t>(Rows + 1));
  Put16(Page + 2, static_cast<std::uint32_t>(Start - TableEnd));
  return true;
}

// A type-0 usage map of Pages (sorted).
std::vector<std::uint8_t> UsageMap(const std::vector<std::size_t>& Pages) {
  const std::size_t First = Pages.empty() ? 0 : Pages.front();
  const std::size_t Span = Pages.empty() ? 0 : Pages.back() - First + 1;
  std::vector<std::uint8_t> Map(5 + std::max(kMinMapBytes, (Span + 7) / 8), 0);
  Put32(Map.data() + 1, static_cast<std::uint32_t>(First));
  for (const std::size_t p : Pages)
    Map[5 + (p - First) / 8] |= static_cast<std::uint8_t>(1 << ((p - First) % 8));
  return Map;
}

}  // namespace

TJet4Writer::TJet4Writer() : FFile(4 * kPage, 0) {}

std::size_t TJet4Writer::NewPage() {
  if (FFile.size() / kPage >= 0xffffff)
    throw std::invalid_argument("the database is too large for this writer");
  FFile.resize(FFile.size() + kPage, 0);
  return FFile.size() / kPage - 1;
}

std::size_t TJet4Writer::AddTable(const std::string& Name, const std::vector<TColumn>& Columns) {
  (void)NameBytes(Name);
  if (Columns.empty() || Columns.size() > 100)
    throw std::invalid_argument("a table needs 1 to 100 columns: " + Quoted(Name));
  // Access compares object names without regard to letter case.
  auto Folded = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  };
  for (const auto& Other : FTables)
    if (Folded(Other.Name) == Folded(Name))
      throw std::invalid_argument("two tables are named " + Quoted(Name));
  TTable Table;
  Table.Name = Name;
  Table.Columns = Columns;
  for (const TColumn& Column : Columns) {
    (void)NameBytes(Column.Name);
    if (Column.Type == TType::Text && (Column.Length < 1 || Column.Length > 255))
      throw std::invalid_argument("the text column " + Quoted(Column.Name) +
                                  " must hold 1 to 255 characters");
    if (Column.Type == TType::Decimal && (Column.Precision < 1 || Column.Precision > 28 ||
                                          Column.Scale < 0 || Column.Scale > Column.Precision))
      throw std::invalid_argument("the decimal column " + Quoted(Column.Name) +
                                  " has no valid precision and scale");
    if (const std::size_t Size = FixedSize(Column.Type)) {
      Table.FixedOffset.push_back(static_cast<int>(Table.FixedSize));
      Table.VarIndex.push_back(-1);
      Table.FixedSize += Size;
    } else {
      Table.FixedOffset.push_back(-1);
      Table.VarIndex.push_back(static_cast<int>(Table.VarCount++));
    }
  }
  Table.Definition = NewPage();
  FTables.push_back(std::move(Table));
  return FTables.size() - 1;
}

namespace {

// The row as the format stores it: the column count, the fixed values at their offsets, the
// variable values, then (from the end backwards) the null mask, the count of variable
// columns, their offsets last to first and the end of their data.
template <class TTableDef>
std::vector<std::uint8_t> PackRow(const TTableDef& Table, const std::vector<TValue>& Values) {
  if (Values.size() != Table.Columns.size())
    throw std::invalid_argument("a row of the table \"" + Table.Name + "\" needs " +
                                std::to_string(Table.Columns.size()) + " values");
  const std::size_t Count = Table.Columns.size();
  std::vector<std::uint8_t> Row(2 + Table.FixedSize, 0);
  Put16(Row.data(), static_cast<std::uint32_t>(Count));
  std::vector<std::uint8_t> Mask((Count + 7) / 8, 0);
  std::vector<std::size_t> VarStart(Table.VarCount, 0);
  // Fixed values first, then the variable ones in their order.
  for (std::size_t i = 0; i < Count; ++i) {
    const TColumn& Column = Table.Columns[i];
    const TValue& Value = Values[i];
    if (Table.FixedOffset[i] < 0 || std::holds_alternative<std::monostate>(Value)) continue;
    const double* Number = std::get_if<double>(&Value);
    if (!Number)
      throw std::invalid_argument("the column \"" + Column.Name + "\" holds numbers, not text");
    PutNumber(Column, *Number, Row.data() + 2 + Table.FixedOffset[i]);
    Mask[i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
  }
  for (std::size_t v = 0; v < Table.VarCount; ++v) {
    const std::size_t i = static_cast<std::size_t>(
        std::find(Table.VarIndex.begin(), Table.VarIndex.end(), static_cast<int>(v)) -
        Table.VarIndex.begin());
    const TColumn& Column = Table.Columns[i];
    VarStart[v] = Row.size();
    const TValue& Value = Values[i];
    if (std::holds_alternative<std::monostate>(Value)) continue;
    const std::string* Text = std::get_if<std::string>(&Value);
    if (!Text)
      throw std::invalid_argument("the column \"" + Column.Name + "\" holds text, not numbers");
    const std::u16string Units = Utf16(*Text);
    if (Units.size() > static_cast<std::size_t>(Column.Length))
      throw std::invalid_argument("the text is too long for the column \"" + Column.Name +
                                  "\": \"" + *Text + "\"");
    const std::vector<std::uint8_t> Bytes = TextBytes(Units);
    Row.insert(Row.end(), Bytes.begin(), Bytes.end());
    Mask[i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
  }
  if (Table.VarCount > 0) {
    std::uint8_t Word[2];
    Put16(Word, static_cast<std::uint32_t>(Row.size()));
    Row.insert(Row.end(), Word, Word + 2);
    for (std::size_t v = Table.VarCount; v-- > 0;) {
      Put16(Word, static_cast<std::uint32_t>(VarStart[v]));
      Row.insert(Row.end(), Word, Word + 2);
    }
    Put16(Word, static_cast<std::uint32_t>(Table.VarCount));
    Row.insert(Row.end(), Word, Word + 2);
  }
  Row.insert(Row.end(), Mask.begin(), Mask.end());
  return Row;
}

// A table definition page.
template <class TTableDef>
void PutDefinition(const TTableDef& Table, std::uint8_t Kind, std::uint32_t UsedMap,
                   std::uint32_t FreeMap, std::uint8_t* Page) {
  std::vector<std::uint8_t> Def(kColumnsStart, 0);
  Def[0] = 0x02;
  Def[1] = 0x01;
  Put32(&Def[16], static_cast<std::uint32_t>(Table.Rows));
  Def[40] = Kind;
  const auto Count = static_cast<std::uint32_t>(Table.Columns.size());
  Put16(&Def[41], Count);
  Put16(&Def[43], static_cast<std::uint32_t>(Table.VarCount));
  Put16(&Def[45], Count);
  Put32(&Def[55], UsedMap);
  Put32(&Def[59], FreeMap);
  for (std::size_t i = 0; i < Count; ++i) {
    const TColumn& Column = Table.Columns[i];
    std::array<std::uint8_t, kColumnEntry> Entry{};
    const bool Fixed = Table.FixedOffset[i] >= 0;
    Entry[0] = static_cast<std::uint8_t>(Column.Type);
    Put16(&Entry[5], static_cast<std::uint32_t>(i));
    Put16(&Entry[7], Fixed ? 0 : static_cast<std::uint32_t>(Table.VarIndex[i]));
    Put16(&Entry[9], static_cast<std::uint32_t>(i));
    if (Column.Type == TType::Decimal) {
      Entry[11] = static_cast<std::uint8_t>(Column.Precision);
      Entry[12] = static_cast<std::uint8_t>(Column.Scale);
    } else {
      Put16(&Entry[11], kGeneralSortOrder);
    }
    Entry[15] = Fixed ? (kFlagFixed | kFlagNullable) : kFlagNullable;
    Entry[16] = Column.Type == TType::Text ? kCompressedUnicode : 0;
    Put16(&Entry[21], Fixed ? static_cast<std::uint32_t>(Table.FixedOffset[i]) : 0);
    Put16(&Entry[23],
          static_cast<std::uint32_t>(Fixed ? FixedSize(Column.Type)
                                           : 2 * static_cast<std::size_t>(Column.Length)));
    Def.insert(Def.end(), Entry.begin(), Entry.end());
  }
  for (const TColumn& Column : Table.Columns) {
    const std::vector<std::uint8_t> Name = NameBytes(Column.Name);
    Def.insert(Def.end(), Name.begin(), Name.end());
  }
  // No long-value columns: the list of their usage maps is only its end mark.
  Def.push_back(0xff);
  Def.push_back(0xff);
  if (Def.size() + 8 > kPage)
    throw std::invalid_argument("the definition of the table \"" + Table.Name +
                                "\" does not fit a page");
  Put32(&Def[8], static_cast<std::uint32_t>(Def.size()));
  Put16(&Def[2], static_cast<std::uint32_t>(kPage - 8 - Def.size()));
  std::memset(Page, 0, kPage);
  std::memcpy(Page, Def.data(), Def.size());
}

// RC4, which the header page's second part is masked with under a fixed key.
void Rc4(const std::array<std::uint8_t, 4>& Key, std::uint8_t* Data, std::size_t Size) {
  std::array<std::uint8_t, 256> S;
  for (std::size_t i = 0; i < 256; ++i) S[i] = static_cast<std::uint8_t>(i);
  for (std::size_t i = 0, j = 0; i < 256; ++i) {
    j = (j + S[i] + Key[i % Key.size()]) & 0xff;
    std::swap(S[i], S[j]);
  }
  for (std::size_t n = 0, i = 0, j = 0; n < Size; ++n) {
    i = (i + 1) & 0xff;
    j = (j + S[i]) & 0xff;
    std::swap(S[i], S[j]);
    Data[n] ^= S[(S[i] + S[j]) & 0xff];
  }
}

void PutHeader(std::uint8_t* Page) {
  static constexpr char kMark[] = "Standard Jet DB";
  std::memset(Page, 0, kPage);
  Page[1] = 0x01;
  std::memcpy(Page + 4, kMark, sizeof kMark);
  Page[0x14] = 0x01;  // JET4
  // Plain: code page 1252, database key 0 (pages not masked), sort order General.
  constexpr std::size_t kMasked = 0x18;
  constexpr std::size_t kMaskedSize = 128;
  Put16(Page + 0x3c, 1252);
  Put32(Page + 0x3e, 0);
  Put16(Page + 0x6e, kGeneralSortOrder);
  Rc4({0xc7, 0xda, 0x39, 0x6b}, Page + kMasked, kMaskedSize);
}

// MSysObjects as far as readers need it: the object's id (for a table, its definition
// page), parent, name, type and flags, and its properties (always NULL here).
struct TCatalog {
  std::string Name = "MSysObjects";
  std::vector<TColumn> Columns = {{"Id", TType::Long},    {"ParentId", TType::Long},
                                  {"Name", TType::Text},  {"Type", TType::Integer},
                                  {"Flags", TType::Long}, {"LvProp", TType::Text}};
  std::vector<int> FixedOffset = {0, 4, -1, 8, 10, -1};
  std::vector<int> VarIndex = {-1, -1, 0, -1, -1, 1};
  std::size_t FixedSize = 14;
  std::size_t VarCount = 2;
  std::size_t Rows = 0;
};
constexpr double kTablesContainer = 251658241;  // 0x0F000001, the parent of every table
constexpr double kSystemFlags = -2147483646;    // 0x80000002 as a Long
constexpr std::uint8_t kTypeOle = 0x0B;

}  // namespace

void TJet4Writer::PutRow(TTable& Table, const std::vector<std::uint8_t>& Row) {
  if (!Table.DataPages.empty() && AddToPage(&FFile[Table.DataPages.back() * kPage], Row)) {
    ++Table.Rows;
    return;
  }
  const std::size_t Page = NewPage();
  InitDataPage(&FFile[Page * kPage], static_cast<std::uint32_t>(Table.Definition));
  if (!AddToPage(&FFile[Page * kPage], Row))
    throw std::invalid_argument("a row of the table \"" + Table.Name + "\" does not fit a page");
  Table.DataPages.push_back(Page);
  ++Table.Rows;
}

void TJet4Writer::AddRow(std::size_t Table, const std::vector<TValue>& Values) {
  if (Table >= FTables.size()) throw std::invalid_argument("no such table");
  TTable& T = FTables[Table];
  PutRow(T, PackRow(T, Values));
}

std::vector<std::uint8_t> TJet4Writer::Bytes() const {
  std::vector<std::uint8_t> File = FFile;
  PutHeader(&File[0]);

  // The catalog's rows: itself, then each table.
  TCatalog Catalog;
  InitDataPage(&File[kCatalogDataPage * kPage], kCatalogPage);
  auto Catalogue = [&](double Id, const std::string& Name, double Flags) {
    const std::vector<std::uint8_t> Row =
        PackRow(Catalog, {Id, kTablesContainer, Name, 1.0, Flags, std::monostate()});
    if (!AddToPage(&File[kCatalogDataPage * kPage], Row))
      throw std::invalid_argument("too many tables for this writer");
    ++Catalog.Rows;
  };
  Catalogue(static_cast<double>(kCatalogPage), Catalog.Name, kSystemFlags);
  for (const TTable& Table : FTables)
    Catalogue(static_cast<double>(Table.Definition), Table.Name, 0);

  // Two usage maps a table on the map page: its pages, and its pages with free space
  // (none: these files are not for writing to).
  InitDataPage(&File[kMapPage * kPage], 0);
  std::size_t MapRow = 0;
  auto Maps = [&](const std::vector<std::size_t>& Pages) {
    for (const auto& Map : {UsageMap(Pages), UsageMap({})}) {
      if (!AddToPage(&File[kMapPage * kPage], Map))
        throw std::invalid_argument("the tables are too large for this writer's usage maps");
    }
    const auto Used = static_cast<std::uint32_t>((kMapPage << 8) | MapRow);
    MapRow += 2;
    return std::pair{Used, Used + 1};
  };
  const auto [CatalogUsed, CatalogFree] = Maps({kCatalogDataPage});
  PutDefinition(Catalog, kSystemTable, CatalogUsed, CatalogFree, &File[kCatalogPage * kPage]);
  // LvProp is a long binary value in Access's catalog; readers look it up by name.
  File[kCatalogPage * kPage + kColumnsStart + 5 * kColumnEntry] = kTypeOle;
  File[kCatalogPage * kPage + kColumnsStart + 5 * kColumnEntry + 16] = 0;
  Put16(&File[kCatalogPage * kPage + kColumnsStart + 5 * kColumnEntry + 23], 0);
  for (const TTable& Table : FTables) {
    const auto [Used, Free] = Maps(Table.DataPages);
    PutDefinition(Table, kUserTable, Used, Free, &File[Table.Definition * kPage]);
  }
  return File;
}

void TJet4Writer::Save(const std::string& Path) const {
  const std::vector<std::uint8_t> File = Bytes();
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(File.data()), static_cast<std::streamsize>(File.size()));
  Out.close();
  if (!Out) throw std::runtime_error("cannot write \"" + Path + "\"");
}

}  // namespace orvane::jet
