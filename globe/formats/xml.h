// Environment documents: the small XML-like text in which the globe component saves and
// restores its configuration, the element tree it is read into, and the base class of every
// object that saves itself into an element.
//
// The format is produced and read only by this code: no prolog, no escaping, no comments;
// attributes in double quotes; one element per line, indented one space per level, lines
// ending in CR LF. Strings in memory are UTF-8; files are in the Windows-1252 code page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "globe/core/classes.h"
#include "globe/core/types.h"

namespace globe {

/// What an entry of an element is.
enum class TGXML_EntryKind : std::uint8_t {
  ekAttribute,  ///< `Name="Value"`, written inside the element's tag
  ekElement,    ///< a named child element, owned by the entry
  ekText,       ///< a line of text
};

/// An element: an ordered list of entries (attributes, child elements, text lines) that
/// allows duplicates. Entries keep the order in which they were added; serialisation follows
/// it. An element does not know its own name: the name is the text of its parent's entry.
/// Trees of any depth are built, written and destroyed without recursion.
class TGXML_Element {
 public:
  TGXML_Element() = default;
  TGXML_Element(const TGXML_Element&) = delete;
  TGXML_Element& operator=(const TGXML_Element&) = delete;
  /// Destroys the child elements too.
  ~TGXML_Element();

  // ---- Entries --------------------------------------------------------------------------

  [[nodiscard]] std::size_t Count() const noexcept { return entries_.size(); }
  /// The entry's text: `Name="Value"` for an attribute, the name for a child element, the
  /// line for a text. Throws EGlobeException "List index out of bounds (<Index>)" when
  /// Index ≥ Count(), as do Kind and Child.
  [[nodiscard]] const std::string& Text(std::size_t Index) const;
  [[nodiscard]] TGXML_EntryKind Kind(std::size_t Index) const;
  /// The child element of a child element entry; null for attribute and text entries.
  [[nodiscard]] TGXML_Element* Child(std::size_t Index);
  [[nodiscard]] const TGXML_Element* Child(std::size_t Index) const;

  // ---- Building -------------------------------------------------------------------------

  /// Appends `Ident="Value"`, both trimmed of surrounding white space and control
  /// characters. Nothing is escaped: a value must not contain a double quote.
  void AddAttribute(std::string_view Ident, std::string_view Value);
  /// "T" for true, "F" for false.
  void AddBoolAttribute(std::string_view Ident, bool Value);
  /// The integer in decimal.
  void AddIntAttribute(std::string_view Ident, std::int32_t Value);
  /// 15 significant digits, "." as separator whatever the locale; fixed notation for
  /// ordinary magnitudes, otherwise scientific with a capital "E" (1.8606784235054E-5).
  void AddFloatAttribute(std::string_view Ident, Extended Value);
  /// Appends a child element entry named Ident (trimmed) and takes ownership of Element;
  /// a null Element adds an empty child. Returns the child.
  TGXML_Element* AddElement(std::string_view Ident, std::unique_ptr<TGXML_Element> Element);
  /// A child named Ident holding one text entry, Text trimmed. Returns the child.
  TGXML_Element* AddTextElement(std::string_view Ident, std::string_view Text);
  /// A child named Ident holding one text entry of 2 × BufSize upper-case hexadecimal
  /// digits, high nibble first (nothing when BufSize ≤ 0). Returns the child.
  TGXML_Element* AddBinaryElement(std::string_view Ident, const void* Buffer, std::int32_t BufSize);
  /// Appends a text entry, trimmed.
  void AddText(std::string_view Text);

  // ---- Lookups --------------------------------------------------------------------------

  /// The child element whose name equals Ident exactly (letter case counts), skipping the
  /// first iOccourance matches; null when there is none.
  [[nodiscard]] TGXML_Element* ElementByName(std::string_view Ident, int iOccourance = 0);
  [[nodiscard]] const TGXML_Element* ElementByName(std::string_view Ident,
                                                   int iOccourance = 0) const;
  /// The value of the first attribute whose name equals Ident ignoring ASCII letter case:
  /// the text after its first "=", trimmed, less its first and last character (the
  /// quotes). DefaultValue when there is no such attribute or its value is blank; a present
  /// but empty value (`Name=""`) gives "". Text and child element entries never match.
  [[nodiscard]] std::string AttributeByName(std::string_view Ident,
                                            std::string_view DefaultValue) const;
  /// "T" → true, "F" → false (exactly); anything else, or no attribute, → DefaultValue.
  [[nodiscard]] bool BoolAttributeByName(std::string_view Ident, bool DefaultValue) const;
  /// The attribute converted with "." as separator; DefaultValue when it is missing or
  /// empty. Throws EConvertError when the text is not a number.
  [[nodiscard]] Extended FloatAttributeByName(std::string_view Ident, Extended DefaultValue) const;
  /// The attribute converted to a 32-bit integer, DefaultValue when it is missing. Throws
  /// EConvertError when the text is empty or not an integer.
  [[nodiscard]] std::int32_t IntAttributeByName(std::string_view Ident,
                                                std::int32_t DefaultValue) const;
  /// The name of the Index-th attribute entry (0 = first), or "" when there are fewer.
  [[nodiscard]] std::string GetAttributeNames(int Index) const;
  /// Decodes the hexadecimal digits of the text entries (joined) into Buffer, two digits a
  /// byte, high nibble first; either letter case. Writes exactly BufSize bytes: those the
  /// text does not reach are zero, a character that is not a hexadecimal digit counts as
  /// 0. Returns BufSize, or 0 when BufSize ≤ 0 (then nothing is written).
  std::int32_t AsBinary(void* Buffer, std::int32_t BufSize) const;

 private:
  friend class TGXML_Document;

  struct Entry {
    std::string text;
    TGXML_EntryKind kind;
    std::unique_ptr<TGXML_Element> child;  // set for ekElement only
  };

  const Entry& At(std::size_t Index) const;

  std::vector<Entry> entries_;
};

/// A document: the root element, which holds the top-level elements and is never written
/// as a tag, and its text form.
class TGXML_Document {
 public:
  /// A document with an empty root.
  TGXML_Document();
  TGXML_Document(const TGXML_Document&) = delete;
  TGXML_Document& operator=(const TGXML_Document&) = delete;
  ~TGXML_Document();

  [[nodiscard]] TGXML_Element* Document() noexcept { return FDocument.get(); }
  [[nodiscard]] const TGXML_Element* Document() const noexcept { return FDocument.get(); }
  /// Replaces and frees the root; a null Value leaves an empty root.
  void SetDocument(std::unique_ptr<TGXML_Element> Value);

  /// The root's entries as text: for each child element, depth spaces, the tag with its
  /// attributes, CR LF, then (unless the child has only attributes and is written as
  /// `<Name ... />`) its entries one level deeper and the closing tag; each text entry on
  /// a line of its own without indentation. The text grows with the square of the depth.
  [[nodiscard]] std::string AsString() const;
  /// Replaces the root with the tree parsed from Text. Never fails: unbalanced tags, tags
  /// of any name and stray text give whatever tree the parsing rules make of them, and a
  /// closing tag at the top level ends the parse.
  void SetAsString(std::string_view Text);

  /// Writes AsString to the file (created or replaced) in Windows-1252; characters that
  /// code page cannot hold become "?". Throws EGlobeException naming the file when it
  /// cannot be written.
  void SaveToFile(const std::string& sFilename) const;
  /// Reads the file, joins its lines without separators (a line ends at LF, CR LF or CR),
  /// converts it from Windows-1252 and parses it. A missing file gives an empty root and
  /// false; true when the file was read. Throws EGlobeException naming the file when it
  /// exists but cannot be read.
  bool LoadFromFile(const std::string& sFilename);

 private:
  std::unique_ptr<TGXML_Element> FDocument;
};

/// Base of the globe classes that save their settings into an environment element.
class TGlobeENVPersistent : public TGlobeRoot {
  GLOBE_CLASS(TGlobeENVPersistent, TGlobeRoot)
 public:
  /// Restores the settings from Element; does nothing when Element is null.
  virtual void LoadEnvironment(const TGXML_Element* Element) = 0;
  /// The settings as a new element, which the caller owns.
  [[nodiscard]] virtual std::unique_ptr<TGXML_Element> SaveEnvironment() = 0;
  /// Loads the file as a document and, when it existed, calls LoadEnvironment with the
  /// root's first child named by ClassName() (null when there is none). A missing file
  /// does nothing. File errors as TGXML_Document::LoadFromFile.
  virtual void LoadEnvironmentFromFile(const std::string& sFileName);
  /// Writes a document whose root holds SaveEnvironment() named by ClassName(). File
  /// errors as TGXML_Document::SaveToFile.
  virtual void SaveEnvironmentToFile(const std::string& sFileName);
};

}  // namespace globe
