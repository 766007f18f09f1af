#include "platform/qt/xmlrowset.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <stdexcept>

namespace platform {

namespace {

// The namespaces of the rowset format; the prefixes in files are s, dt, rs and z.
const QString kNsSchema = QStringLiteral("uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
const QString kNsDataType = QStringLiteral("uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
const QString kNsRowset = QStringLiteral("urn:schemas-microsoft-com:rowset");
const QString kNsRow = QStringLiteral("#RowsetSchema");

[[nodiscard]] bool IsBlank(char c) noexcept { return c == ' ' || c == '\t'; }

[[nodiscard]] std::string_view Trim(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

[[noreturn]] void InvalidFilter(std::string_view Expression) {
  throw EDatabaseError("Invalid filter expression: " + std::string(Expression));
}

}  // namespace

// ---- TMemoryRecordSet -------------------------------------------------------------------

bool TMemoryRecordSet::TNameLess::operator()(std::string_view a,
                                             std::string_view b) const noexcept {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return lower(x) < lower(y); });
}

TMemoryRecordSet::TMemoryRecordSet(std::vector<std::string> Columns,
                                   const std::vector<std::vector<std::string>>& Rows) {
  for (auto& name : Columns) AddColumn(std::move(name));
  FRows.reserve(Rows.size());
  for (const auto& values : Rows) {
    if (values.size() > FColumns.size())
      throw std::invalid_argument("TMemoryRecordSet: a row has more values than columns");
    TRow row;
    for (std::size_t i = 0; i < values.size(); ++i)
      if (!values[i].empty()) row.push_back({static_cast<std::uint32_t>(i), values[i]});
    FRows.push_back(std::move(row));
  }
  ++FRevision;
  Open();
}

void TMemoryRecordSet::AddColumn(std::string Name) {
  ++FRevision;
  FColumnIndex.try_emplace(Name, FColumns.size());
  FColumns.push_back(std::move(Name));
}

void TMemoryRecordSet::AppendRow(TRow Row) {
  FRows.push_back(std::move(Row));
  FIndexes.clear();
  ++FRevision;
}

void TMemoryRecordSet::CheckActive() const {
  if (!FActive) throw EDatabaseError(std::string(kClosedDatasetMessage));
}

void TMemoryRecordSet::Open() {
  FActive = true;
  // Rows may have been appended while closed: the view is rebuilt from the filter.
  if (FFiltered) SetFilter(std::string(FFilter));
  First();
}

std::size_t TMemoryRecordSet::FieldIndex(std::string_view Name) const {
  CheckActive();
  const auto it = FColumnIndex.find(Name);
  if (it == FColumnIndex.end()) throw EDatabaseError("Field '" + std::string(Name) + "' not found");
  return it->second;
}

void TMemoryRecordSet::SetFilter(std::string_view Expression) {
  CheckActive();
  const std::string_view e = Trim(Expression);
  if (e.empty()) {
    FFiltered = false;
    FView.clear();
    FFilter.clear();
    First();
    return;
  }
  const auto eq = e.find('=');
  if (eq == std::string_view::npos) InvalidFilter(Expression);
  std::string_view column = Trim(e.substr(0, eq));
  if (column.size() >= 2 && column.front() == '[' && column.back() == ']')
    column = column.substr(1, column.size() - 2);
  if (column.empty()) InvalidFilter(Expression);

  // 'value' with '' standing for one quote; only blanks may follow the closing quote.
  const std::string_view rest = Trim(e.substr(eq + 1));
  if (rest.size() < 2 || rest.front() != '\'') InvalidFilter(Expression);
  std::string& value = FFilterValue;
  value.clear();
  std::size_t i = 1;
  for (;;) {
    if (i >= rest.size()) InvalidFilter(Expression);  // no closing quote
    if (rest[i] == '\'') {
      if (i + 1 < rest.size() && rest[i + 1] == '\'') {
        value.push_back('\'');
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    value.push_back(rest[i++]);
  }
  if (i != rest.size()) InvalidFilter(Expression);

  const std::size_t index = FieldIndex(column);
  ApplyFilter(index, value);
  FFilter.assign(Expression.data(), Expression.size());  // may be FFilter itself: assign copes
  First();
}

const std::string& TMemoryRecordSet::Value(std::size_t Row, std::size_t Column) const noexcept {
  static const std::string kEmpty;
  const TRow& row = FRows[Row];
  const auto cell =
      std::lower_bound(row.begin(), row.end(), Column,
                       [](const TCell& c, std::size_t col) { return c.Column < col; });
  return cell != row.end() && cell->Column == Column ? cell->Value : kEmpty;
}

void TMemoryRecordSet::ApplyFilter(std::size_t Column, const std::string& Value) {
  const auto [it, made] = FIndexes.try_emplace(Column);
  TColumnIndex& index = it->second;
  if (made) {
    index.Rows.resize(FRows.size());
    for (std::size_t r = 0; r < index.Rows.size(); ++r) index.Rows[r] = r;
    std::stable_sort(index.Rows.begin(), index.Rows.end(), [&](std::size_t a, std::size_t b) {
      return this->Value(a, Column) < this->Value(b, Column);
    });
    index.Values.reserve(index.Rows.size());
    for (const std::size_t r : index.Rows) index.Values.emplace_back(this->Value(r, Column));
  }
  const std::string_view value(Value);
  const auto first = std::lower_bound(index.Values.begin(), index.Values.end(), value);
  auto last = first;
  while (last != index.Values.end() && *last == value) ++last;
  FView.assign(index.Rows.begin() + (first - index.Values.begin()),
               index.Rows.begin() + (last - index.Values.begin()));
  FFiltered = true;
}

std::size_t TMemoryRecordSet::ViewSize() const noexcept {
  return FFiltered ? FView.size() : FRows.size();
}

void TMemoryRecordSet::First() {
  CheckActive();
  FPos = 0;
  FEof = ViewSize() == 0;
}

void TMemoryRecordSet::Next() {
  CheckActive();
  if (FEof) return;
  if (FPos + 1 < ViewSize())
    ++FPos;
  else
    FEof = true;
}

bool TMemoryRecordSet::Eof() const {
  CheckActive();
  return FEof;
}

std::size_t TMemoryRecordSet::RecordCount() const {
  CheckActive();
  return ViewSize();
}

std::size_t TMemoryRecordSet::FieldCount() const {
  CheckActive();
  return FColumns.size();
}

std::string TMemoryRecordSet::Fields(std::size_t Index) const {
  CheckActive();
  if (Index >= FColumns.size())
    throw EDatabaseError("Field index " + std::to_string(Index) + " out of range");
  if (FPos >= ViewSize()) return {};  // an empty view has no current row
  return Value(FFiltered ? FView[FPos] : FPos, Index);
}

std::string TMemoryRecordSet::FieldByName(std::string_view Name) const {
  CheckActive();
  return Fields(FieldIndex(Name));
}

// ---- Reading rowset files ---------------------------------------------------------------

std::unique_ptr<TMemoryRecordSet> LoadXmlRowset(const std::string& FileName,
                                                std::int64_t MaxBytes) {
  const auto fail = [&](const std::string& What) -> std::runtime_error {
    return std::runtime_error("Rowset file '" + FileName + "': " + What);
  };
  QFile file(QString::fromStdString(FileName));
  if (!file.open(QIODevice::ReadOnly))
    throw fail("cannot open: " + file.errorString().toStdString());
  // Every row is held in memory: a file beyond any real table is refused before it is read.
  if (file.size() > MaxBytes)
    throw fail("it is " + std::to_string(file.size()) + " bytes long, more than the " +
               std::to_string(MaxBytes) + " bytes a reference table may have");

  auto set = std::make_unique<TMemoryRecordSet>();
  QHash<QString, std::uint32_t> columnOfAttribute;
  bool schemaSeen = false;
  bool inSchema = false;
  bool elementTypeSeen = false;  // the first s:ElementType describes the rows
  bool inElementType = false;
  bool inData = false;

  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    // Rowsets have no document type; without one, no entity can blow a few bytes of the
    // file up into kilobytes of values.
    if (token == QXmlStreamReader::DTD) throw fail("a document type declaration is not allowed");
    if (token == QXmlStreamReader::StartElement) {
      const auto ns = xml.namespaceUri();
      const auto name = xml.name();
      if (ns.compare(kNsSchema, Qt::CaseInsensitive) == 0) {
        if (name == u"Schema") {
          if (schemaSeen) throw fail("more than one schema");
          schemaSeen = inSchema = true;
        } else if (inSchema && name == u"ElementType" && !elementTypeSeen) {
          elementTypeSeen = inElementType = true;
        } else if (inElementType && name == u"AttributeType") {
          const auto attrs = xml.attributes();
          const QString attribute = attrs.value(QString(), QStringLiteral("name")).toString();
          if (attribute.isEmpty())
            throw fail("a column without a name at line " + std::to_string(xml.lineNumber()));
          if (columnOfAttribute.contains(attribute))
            throw fail("column '" + attribute.toStdString() + "' defined twice");
          const QString display = attrs.hasAttribute(kNsRowset, QStringLiteral("name"))
                                      ? attrs.value(kNsRowset, QStringLiteral("name")).toString()
                                      : attribute;
          columnOfAttribute.insert(attribute,
                                   static_cast<std::uint32_t>(set->ColumnNames().size()));
          set->AddColumn(display.toStdString());
          xml.skipCurrentElement();  // its data type is not needed: every value is text
        }
      } else if (ns == kNsRowset) {
        if (name == u"data") {
          if (set->ColumnNames().empty())
            throw fail("rows before a schema with columns (line " +
                       std::to_string(xml.lineNumber()) + ")");
          inData = true;
        } else if (inData && (name == u"original" || name == u"delete")) {
          xml.skipCurrentElement();  // old values of changed rows, rows deleted
        }
      } else if (ns == kNsRow && name == u"row" && inData) {
        TMemoryRecordSet::TRow row;
        for (const auto& attr : xml.attributes()) {
          if (!attr.namespaceUri().isEmpty()) continue;
          const auto it = columnOfAttribute.constFind(attr.name().toString());
          if (it == columnOfAttribute.constEnd()) continue;  // not a column of the schema
          row.push_back({*it, attr.value().toString().toStdString()});
        }
        std::sort(row.begin(), row.end(),
                  [](const auto& a, const auto& b) { return a.Column < b.Column; });
        set->AppendRow(std::move(row));
        xml.skipCurrentElement();  // child rows of hierarchical sets are not supported
      }
    } else if (token == QXmlStreamReader::EndElement) {
      const auto ns = xml.namespaceUri();
      const auto name = xml.name();
      if (ns.compare(kNsSchema, Qt::CaseInsensitive) == 0) {
        if (name == u"Schema") inSchema = false;
        if (name == u"ElementType") inElementType = false;
      } else if (ns == kNsRowset && name == u"data") {
        inData = false;
      }
    }
  }
  if (xml.hasError())
    throw fail("not a valid XML file: line " + std::to_string(xml.lineNumber()) + ", column " +
               std::to_string(xml.columnNumber()) + ": " + xml.errorString().toStdString());
  if (set->ColumnNames().empty()) throw fail("no schema with columns");
  set->Open();
  return set;
}

// ---- Writing rowset files ---------------------------------------------------------------

namespace {

/// Text XML 1.0 can carry: no control characters but tab, line feed and carriage return,
/// no U+FFFE/U+FFFF. Surrogates come only in pairs from valid UTF-8.
[[nodiscard]] bool IsXmlText(const QString& s) noexcept {
  return std::none_of(s.begin(), s.end(), [](QChar c) {
    const char16_t u = c.unicode();
    return (u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF;
  });
}

[[nodiscard]] QString ToXmlText(const std::string& Value, const char* What) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString s = decoder.decode(QByteArrayView(Value.data(), static_cast<qsizetype>(Value.size())));
  if (decoder.hasError())
    throw std::invalid_argument(std::string("SaveXmlRowset: ") + What + " is not UTF-8");
  if (!IsXmlText(s))
    throw std::invalid_argument(std::string("SaveXmlRowset: ") + What +
                                " holds a character XML cannot carry");
  return s;
}

/// Whether Name can be written as the attribute name itself: an XML name without a colon,
/// not reserved by XML.
[[nodiscard]] bool IsPlainAttributeName(const QString& Name) {
  if (Name.isEmpty() || Name.startsWith(QLatin1String("xml"), Qt::CaseInsensitive)) return false;
  for (qsizetype i = 0; i < Name.size(); ++i) {
    const QChar c = Name[i];
    const bool ok = c.isLetter() || c == u'_' || (i > 0 && (c.isDigit() || c == u'-' || c == u'.'));
    if (!ok) return false;
  }
  return true;
}

}  // namespace

void SaveXmlRowset(const std::string& FileName, const std::vector<std::string>& Columns,
                   const std::vector<std::vector<std::string>>& Rows) {
  std::vector<QString> names;
  names.reserve(Columns.size());
  bool plain = true;
  for (const auto& column : Columns) {
    if (column.empty()) throw std::invalid_argument("SaveXmlRowset: a column without a name");
    names.push_back(ToXmlText(column, "a column name"));
    plain = plain && IsPlainAttributeName(names.back()) &&
            std::count(names.begin(), names.end(), names.back()) == 1;
  }
  // Names that cannot be attribute names (or repeat) go to rs:name; the attributes are
  // then c0, c1, ... for every column, so that none can collide.
  std::vector<QString> attributes;
  for (std::size_t i = 0; i < names.size(); ++i)
    attributes.push_back(plain ? names[i] : QStringLiteral("c%1").arg(i));

  std::vector<std::vector<QString>> values;
  values.reserve(Rows.size());
  std::vector<qsizetype> maxLength(Columns.size(), 1);
  for (const auto& row : Rows) {
    if (row.size() > Columns.size())
      throw std::invalid_argument("SaveXmlRowset: a row has more values than columns");
    auto& out = values.emplace_back();
    for (std::size_t i = 0; i < row.size(); ++i) {
      out.push_back(ToXmlText(row[i], "a value"));
      maxLength[i] = std::max(maxLength[i], out.back().size());
    }
  }

  const QString qFileName = QString::fromStdString(FileName);
  QSaveFile file(qFileName);
  if (!file.open(QIODevice::WriteOnly))
    throw std::runtime_error("Rowset file '" + FileName +
                             "': cannot write: " + file.errorString().toStdString());
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.setAutoFormattingIndent(1);
  xml.writeStartDocument();
  xml.writeNamespace(kNsSchema, QStringLiteral("s"));
  xml.writeNamespace(kNsDataType, QStringLiteral("dt"));
  xml.writeNamespace(kNsRowset, QStringLiteral("rs"));
  xml.writeNamespace(kNsRow, QStringLiteral("z"));
  xml.writeStartElement(QStringLiteral("xml"));
  xml.writeStartElement(kNsSchema, QStringLiteral("Schema"));
  xml.writeAttribute(QStringLiteral("id"), QStringLiteral("RowsetSchema"));
  xml.writeStartElement(kNsSchema, QStringLiteral("ElementType"));
  xml.writeAttribute(QStringLiteral("name"), QStringLiteral("row"));
  xml.writeAttribute(QStringLiteral("content"), QStringLiteral("eltOnly"));
  for (std::size_t i = 0; i < names.size(); ++i) {
    xml.writeStartElement(kNsSchema, QStringLiteral("AttributeType"));
    xml.writeAttribute(QStringLiteral("name"), attributes[i]);
    if (!plain) xml.writeAttribute(kNsRowset, QStringLiteral("name"), names[i]);
    xml.writeAttribute(kNsRowset, QStringLiteral("number"), QString::number(i + 1));
    xml.writeAttribute(kNsRowset, QStringLiteral("nullable"), QStringLiteral("true"));
    xml.writeEmptyElement(kNsSchema, QStringLiteral("datatype"));
    xml.writeAttribute(kNsDataType, QStringLiteral("type"), QStringLiteral("string"));
    xml.writeAttribute(kNsDataType, QStringLiteral("maxLength"), QString::number(maxLength[i]));
    xml.writeEndElement();
  }
  xml.writeEmptyElement(kNsSchema, QStringLiteral("extends"));
  xml.writeAttribute(QStringLiteral("type"), QStringLiteral("rs:rowbase"));
  xml.writeEndElement();  // ElementType
  xml.writeEndElement();  // Schema
  xml.writeStartElement(kNsRowset, QStringLiteral("data"));
  for (const auto& row : values) {
    xml.writeEmptyElement(kNsRow, QStringLiteral("row"));
    for (std::size_t i = 0; i < row.size(); ++i) xml.writeAttribute(attributes[i], row[i]);
  }
  xml.writeEndElement();  // data
  xml.writeEndElement();  // xml
  xml.writeEndDocument();
  if (xml.hasError() || !file.commit())
    throw std::runtime_error("Rowset file '" + FileName +
                             "': cannot write: " + file.errorString().toStdString());
}

}  // namespace platform
