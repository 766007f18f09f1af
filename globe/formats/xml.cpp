#include "globe/core/text.h"
#include "globe/formats/xml.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "globe/core/codepage.h"
#include "globe/core/numeric.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

// White space here is every control character and the space, as the stored documents
// were trimmed.
constexpr bool IsBlank(char c) noexcept { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

[[noreturn]] void FileError(const char* what, const std::string& name, int error) {
  throw EGlobeException(std::string(what) + " \"" + name +
                        "\": " + std::generic_category().message(error));
}

// The attribute part of a child's tag: " " and each attribute followed by a space, then
// "/" when the child has nothing but attributes.
std::string AttributeString(const TGXML_Element& e) {
  std::string s = " ";
  bool onlyAttributes = true;
  for (std::size_t i = 0; i < e.Count(); ++i) {
    if (e.Kind(i) == TGXML_EntryKind::ekAttribute) {
      s += e.Text(i);
      s += ' ';
    } else {
      onlyAttributes = false;
    }
  }
  if (onlyAttributes) s += '/';
  return s;
}

// What the parser reads back depends on a few characters: a tag name ends at a space or
// ">", and one that is empty or starts with "/" closes a tag; an attribute name ends at the
// first '="'; a value ends at '"'; a tag ends at ">"; text ends at "<". Entries never hold
// these where they would be read differently, so that a saved document reads back as the
// tree it was saved from. What the parser builds holds none of them.
constexpr char kReplacement = '_';

std::string WritableName(std::string_view Name) {
  std::string name(Trim(Name));
  if (name.empty()) return std::string(1, kReplacement);
  for (char& c : name) {
    if (c == ' ' || c == '>') c = kReplacement;
  }
  if (name.front() == '/') name.front() = kReplacement;
  return name;
}

std::string WritableAttribute(std::string_view Ident, std::string_view Value) {
  std::string text(Trim(Ident));
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '>') text[i] = kReplacement;
    // '="' inside the name would end it there.
    if (text[i] == '"' && i > 0 && text[i - 1] == '=') text[i] = '\'';
  }
  text += "=\"";
  for (char c : Trim(Value)) {
    if (c == '"') c = '\'';
    if (c == '>') c = kReplacement;
    text += c;
  }
  text += '"';
  return text;
}

std::string WritableText(std::string_view Text) {
  std::string text(Trim(Text));
  for (char& c : text) {
    if (c == '<') c = kReplacement;
  }
  return text;
}

void AppendTag(std::string& out, std::size_t depth, std::string_view open, std::string_view body) {
  out.append(depth, ' ');
  out += open;
  out += Trim(body);
  out += ">\r\n";
}

}  // namespace

// ---- TGXML_Element ------------------------------------------------------------------------

TGXML_Element::~TGXML_Element() {
  // Children are unlinked onto a work list before they die, so every destructor sees a
  // flat element and a deep tree cannot exhaust the stack.
  std::vector<std::unique_ptr<TGXML_Element>> pending;
  for (Entry& e : entries_) {
    if (e.child) pending.push_back(std::move(e.child));
  }
  while (!pending.empty()) {
    std::unique_ptr<TGXML_Element> element = std::move(pending.back());
    pending.pop_back();
    for (Entry& e : element->entries_) {
      if (e.child) pending.push_back(std::move(e.child));
    }
  }
}

const TGXML_Element::Entry& TGXML_Element::At(std::size_t Index) const {
  if (Index >= entries_.size()) {
    throw EGlobeException("List index out of bounds (" + std::to_string(Index) + ")");
  }
  return entries_[Index];
}

const std::string& TGXML_Element::Text(std::size_t Index) const { return At(Index).text; }

TGXML_EntryKind TGXML_Element::Kind(std::size_t Index) const { return At(Index).kind; }

TGXML_Element* TGXML_Element::Child(std::size_t Index) { return At(Index).child.get(); }

const TGXML_Element* TGXML_Element::Child(std::size_t Index) const { return At(Index).child.get(); }

void TGXML_Element::AddAttribute(std::string_view Ident, std::string_view Value) {
  entries_.push_back({WritableAttribute(Ident, Value), TGXML_EntryKind::ekAttribute, nullptr});
}

void TGXML_Element::AddBoolAttribute(std::string_view Ident, bool Value) {
  AddAttribute(Ident, Value ? "T" : "F");
}

void TGXML_Element::AddIntAttribute(std::string_view Ident, std::int32_t Value) {
  AddAttribute(Ident, std::to_string(Value));
}

void TGXML_Element::AddFloatAttribute(std::string_view Ident, Extended Value) {
  AddAttribute(Ident, FloatToStrGeneral(Value, 15));
}

TGXML_Element* TGXML_Element::AddElement(std::string_view Ident,
                                         std::unique_ptr<TGXML_Element> Element) {
  if (!Element) Element = std::make_unique<TGXML_Element>();
  TGXML_Element* child = Element.get();
  entries_.push_back({WritableName(Ident), TGXML_EntryKind::ekElement, std::move(Element)});
  return child;
}

TGXML_Element* TGXML_Element::AddTextElement(std::string_view Ident, std::string_view Text) {
  auto element = std::make_unique<TGXML_Element>();
  element->AddText(Text);
  return AddElement(Ident, std::move(element));
}

TGXML_Element* TGXML_Element::AddBinaryElement(std::string_view Ident, const void* Buffer,
                                               std::int32_t BufSize) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  if (BufSize > 0) {
    const auto* bytes = static_cast<const unsigned char*>(Buffer);
    hex.reserve(2 * static_cast<std::size_t>(BufSize));
    for (std::int32_t i = 0; i < BufSize; ++i) {
      hex += kDigits[bytes[i] >> 4];
      hex += kDigits[bytes[i] & 0x0F];
    }
  }
  auto element = std::make_unique<TGXML_Element>();
  element->AddText(hex);
  return AddElement(Ident, std::move(element));
}

void TGXML_Element::AddText(std::string_view Text) {
  entries_.push_back({WritableText(Text), TGXML_EntryKind::ekText, nullptr});
}

TGXML_Element* TGXML_Element::ElementByName(std::string_view Ident, int iOccourance) {
  return const_cast<TGXML_Element*>(std::as_const(*this).ElementByName(Ident, iOccourance));
}

const TGXML_Element* TGXML_Element::ElementByName(std::string_view Ident, int iOccourance) const {
  for (const Entry& e : entries_) {
    if (e.kind == TGXML_EntryKind::ekElement && e.text == Ident) {
      if (iOccourance <= 0) return e.child.get();
      --iOccourance;
    }
  }
  return nullptr;
}

std::string TGXML_Element::AttributeByName(std::string_view Ident,
                                           std::string_view DefaultValue) const {
  for (const Entry& e : entries_) {
    if (e.kind != TGXML_EntryKind::ekAttribute) continue;
    const std::string_view text = e.text;
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || !SameTextAscii(text.substr(0, eq), Ident)) continue;
    const std::string_view value = Trim(text.substr(eq + 1));
    if (value.empty()) break;
    if (value.size() < 2) return {};
    return std::string(value.substr(1, value.size() - 2));
  }
  return std::string(DefaultValue);
}

bool TGXML_Element::BoolAttributeByName(std::string_view Ident, bool DefaultValue) const {
  const std::string value = AttributeByName(Ident, "");
  if (value == "T") return true;
  if (value == "F") return false;
  return DefaultValue;
}

Extended TGXML_Element::FloatAttributeByName(std::string_view Ident, Extended DefaultValue) const {
  const std::string value = AttributeByName(Ident, "");
  return value.empty() ? DefaultValue : StrToFloat(value);
}

std::int32_t TGXML_Element::IntAttributeByName(std::string_view Ident,
                                               std::int32_t DefaultValue) const {
  return StrToInt(AttributeByName(Ident, std::to_string(DefaultValue)));
}

std::string TGXML_Element::GetAttributeNames(int Index) const {
  if (Index < 0) return {};
  for (const Entry& e : entries_) {
    if (e.kind != TGXML_EntryKind::ekAttribute) continue;
    if (Index-- == 0) return e.text.substr(0, e.text.find('='));
  }
  return {};
}

std::int32_t TGXML_Element::AsBinary(void* Buffer, std::int32_t BufSize) const {
  if (BufSize <= 0) return 0;
  auto* bytes = static_cast<unsigned char*>(Buffer);
  const auto size = static_cast<std::size_t>(BufSize);
  std::fill_n(bytes, size, 0);
  // Digits are paired across text entries, since a file may split one text over lines.
  std::size_t digit = 0;
  for (const Entry& e : entries_) {
    if (e.kind != TGXML_EntryKind::ekText) continue;
    for (const char c : e.text) {
      if (digit / 2 >= size) return BufSize;
      const int shift = (digit % 2 == 0) ? 4 : 0;
      bytes[digit / 2] = static_cast<unsigned char>(bytes[digit / 2] | (HexValue(c) << shift));
      ++digit;
    }
  }
  return BufSize;
}

// ---- TGXML_Document -----------------------------------------------------------------------

TGXML_Document::TGXML_Document() : FDocument(std::make_unique<TGXML_Element>()) {}

TGXML_Document::~TGXML_Document() = default;

void TGXML_Document::SetDocument(std::unique_ptr<TGXML_Element> Value) {
  if (Value.get() == FDocument.get()) {
    (void)Value.release();  // the same root: it stays owned once
    return;
  }
  FDocument = Value ? std::move(Value) : std::make_unique<TGXML_Element>();
}

std::string TGXML_Document::AsString() const {
  // An explicit stack keeps deep trees off the call stack. A frame's depth is its index:
  // the root's entries are written at depth 0.
  struct Frame {
    const TGXML_Element* element;
    std::size_t next;
    std::string_view name;  // closing tag; unused for the root
  };
  std::string out;
  std::vector<Frame> stack{{FDocument.get(), 0, {}}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const std::size_t depth = stack.size() - 1;
    if (frame.next == frame.element->entries_.size()) {
      const std::string_view name = frame.name;
      stack.pop_back();
      if (depth > 0) AppendTag(out, depth - 1, "</", name);
      continue;
    }
    const TGXML_Element::Entry& entry = frame.element->entries_[frame.next++];
    switch (entry.kind) {
      case TGXML_EntryKind::ekAttribute:
        break;
      case TGXML_EntryKind::ekText:
        out += entry.text;
        out += "\r\n";
        break;
      case TGXML_EntryKind::ekElement: {
        const std::string attributes = AttributeString(*entry.child);
        AppendTag(out, depth, "<", entry.text + attributes);
        // Nothing below uses `frame`, which the push may move.
        if (attributes.back() != '/') stack.push_back({entry.child.get(), 0, entry.text});
        break;
      }
    }
  }
  return out;
}

void TGXML_Document::SetAsString(std::string_view Text) {
  auto root = std::make_unique<TGXML_Element>();
  // Each stack entry is an element whose content is being read; popping it is the return
  // from reading that element. Positions at or beyond Text.size() are past the end.
  std::vector<TGXML_Element*> stack{root.get()};
  const std::size_t length = Text.size();
  std::size_t pos = 0;
  const auto upTo = [&](std::size_t found) {
    return found == std::string_view::npos ? length : found;
  };

  while (!stack.empty()) {
    TGXML_Element* element = stack.back();
    if (pos >= length) {
      stack.pop_back();
      continue;
    }
    // Text up to the next tag.
    const std::size_t lt = upTo(Text.find('<', pos));
    const std::string_view text = Trim(Text.substr(pos, lt - pos));
    if (!text.empty()) element->AddText(text);
    pos = std::min(lt + 1, length);

    // The tag name ends at a space or ">". A name that is empty or starts with "/" once
    // trimmed (as the element would store it) closes the current element, whichever element
    // it names; the rest of the closing tag is skipped.
    const std::size_t nameEnd = upTo(Text.find_first_of(" >", pos));
    const std::string_view name = Trim(Text.substr(pos, nameEnd - pos));
    const std::size_t gt = upTo(Text.find('>', nameEnd));
    if (name.empty() || name.front() == '/') {
      pos = std::min(gt + 1, length);
      stack.pop_back();
      continue;
    }

    TGXML_Element* child = element->AddElement(name, nullptr);
    const std::string_view attributes = Trim(Text.substr(nameEnd, gt - nameEnd));
    pos = std::min(gt + 1, length);
    for (std::size_t at = 0;;) {
      const std::size_t eq = attributes.find("=\"", at);
      if (eq == std::string_view::npos) break;
      const std::size_t start = eq + 2;
      const std::size_t quote = std::min(attributes.find('"', start), attributes.size());
      child->AddAttribute(attributes.substr(at, eq - at), attributes.substr(start, quote - start));
      at = std::min(quote + 1, attributes.size());
    }
    const bool selfClosing = !attributes.empty() && attributes.back() == '/';
    if (!selfClosing) stack.push_back(child);
  }
  FDocument = std::move(root);
}

void TGXML_Document::SaveToFile(const std::string& sFilename) const {
  const std::string data = Utf8ToAnsi(AsString());
  errno = 0;
  std::ofstream out(platform::FsPath(sFilename), std::ios::binary | std::ios::trunc);
  if (!out) FileError("Cannot create file", sFilename, errno ? errno : EIO);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) FileError("Cannot write file", sFilename, errno ? errno : EIO);
}

bool TGXML_Document::LoadFromFile(const std::string& sFilename) {
  const std::filesystem::path path = platform::FsPath(sFilename);
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    SetAsString({});
    return false;
  }
  if (ec) FileError("Cannot read file", sFilename, ec.value());
  if (status.type() == std::filesystem::file_type::directory) {
    FileError("Cannot read file", sFilename, EISDIR);
  }

  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) FileError("Cannot read file", sFilename, errno ? errno : EIO);
  std::string joined;
  char buffer[1 << 16];
  while (in) {
    in.read(buffer, sizeof buffer);
    // Lines are joined without separators: dropping every CR and LF does exactly that for
    // LF, CR LF and CR line ends alike.
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      if (buffer[i] != '\r' && buffer[i] != '\n') joined += buffer[i];
    }
  }
  if (in.bad()) FileError("Cannot read file", sFilename, errno ? errno : EIO);
  SetAsString(AnsiToUtf8(joined));
  return true;
}

// ---- TGlobeENVPersistent ------------------------------------------------------------------

void TGlobeENVPersistent::LoadEnvironmentFromFile(const std::string& sFileName) {
  TGXML_Document document;
  if (document.LoadFromFile(sFileName)) {
    LoadEnvironment(document.Document()->ElementByName(ClassName()));
  }
}

void TGlobeENVPersistent::SaveEnvironmentToFile(const std::string& sFileName) {
  TGXML_Document document;
  document.Document()->AddElement(ClassName(), SaveEnvironment());
  document.SaveToFile(sFileName);
}

}  // namespace globe
