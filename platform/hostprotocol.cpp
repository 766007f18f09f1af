#include "platform/hostprotocol.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <utility>

namespace platform::hostprotocol {

namespace {

// ---- A strict JSON reader for one line ----------------------------------------------------
//
// Only what a line may hold: the whole text is one value, strings must be valid UTF-8 and
// hold no raw control characters, nesting is bounded so that a hostile line cannot exhaust
// the stack. Members keep their order; a repeated name counts by its last occurrence.

constexpr int kMaxDepth = 16;

// The one-letter escapes of JSON strings and the characters they stand for, in step.
constexpr std::string_view kEscapeLetters = "\"\\/bfnrt";
constexpr std::string_view kEscapedChars = "\"\\/\b\f\n\r\t";

struct TValue {
  enum TKind { vkNull, vkBool, vkNumber, vkString, vkArray, vkObject };
  TKind Kind = vkNull;
  bool Bool = false;
  double Number = 0;
  std::string String;         // the text of a string
  std::string Key;            // the name of an object member
  std::vector<TValue> Items;  // array items or object members
};

class TReader {
 public:
  explicit TReader(std::string_view Text) : FText(Text) {}

  std::optional<TValue> Document() {
    TValue Value;
    if (!ReadValue(Value, 0)) return std::nullopt;
    SkipSpace();
    if (FPos != FText.size()) return std::nullopt;
    return Value;
  }

 private:
  void SkipSpace() {
    while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' ||
                                   FText[FPos] == '\r' || FText[FPos] == '\n'))
      ++FPos;
  }
  bool Literal(std::string_view Word) {
    if (FText.substr(FPos, Word.size()) != Word) return false;
    FPos += Word.size();
    return true;
  }

  bool ReadValue(TValue& Value, int Depth) {
    if (Depth > kMaxDepth) return false;
    SkipSpace();
    if (FPos >= FText.size()) return false;
    switch (FText[FPos]) {
      case 'n':
        Value.Kind = TValue::vkNull;
        return Literal("null");
      case 't':
        Value.Kind = TValue::vkBool;
        Value.Bool = true;
        return Literal("true");
      case 'f':
        Value.Kind = TValue::vkBool;
        Value.Bool = false;
        return Literal("false");
      case '"':
        Value.Kind = TValue::vkString;
        return ReadString(Value.String);
      case '[':
        Value.Kind = TValue::vkArray;
        return ReadList(Value, Depth, ']');
      case '{':
        Value.Kind = TValue::vkObject;
        return ReadList(Value, Depth, '}');
      default:
        Value.Kind = TValue::vkNumber;
        return ReadNumber(Value.Number);
    }
  }

  bool ReadList(TValue& Value, int Depth, char Close) {
    ++FPos;
    SkipSpace();
    if (FPos < FText.size() && FText[FPos] == Close) {
      ++FPos;
      return true;
    }
    for (;;) {
      TValue Item;
      if (Close == '}') {
        SkipSpace();
        if (FPos >= FText.size() || FText[FPos] != '"' || !ReadString(Item.Key)) return false;
        SkipSpace();
        if (FPos >= FText.size() || FText[FPos] != ':') return false;
        ++FPos;
        if (!ReadValue(Item, Depth + 1)) return false;
      } else if (!ReadValue(Item, Depth + 1)) {
        return false;
      }
      Value.Items.push_back(std::move(Item));
      SkipSpace();
      if (FPos >= FText.size()) return false;
      const char c = FText[FPos++];
      if (c == Close) return true;
      if (c != ',') return false;
    }
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?, and finite as a double.
  bool ReadNumber(double& Number) {
    const std::size_t Start = FPos;
    auto Digits = [&] {
      const std::size_t From = FPos;
      while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') ++FPos;
      return FPos > From;
    };
    if (FPos < FText.size() && FText[FPos] == '-') ++FPos;
    if (FPos < FText.size() && FText[FPos] == '0') {
      ++FPos;
    } else if (!Digits()) {
      return false;
    }
    if (FPos < FText.size() && FText[FPos] == '.') {
      ++FPos;
      if (!Digits()) return false;
    }
    if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
      ++FPos;
      if (FPos < FText.size() && (FText[FPos] == '+' || FText[FPos] == '-')) ++FPos;
      if (!Digits()) return false;
    }
    const char* First = FText.data() + Start;
    const char* Last = FText.data() + FPos;
    const auto [Ptr, Error] = std::from_chars(First, Last, Number);
    return Error == std::errc() && Ptr == Last && std::isfinite(Number);
  }

  static void PutUtf8(std::string& Out, std::uint32_t c) {
    if (c < 0x80) {
      Out += static_cast<char>(c);
    } else if (c < 0x800) {
      Out += static_cast<char>(0xC0 | (c >> 6));
      Out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      Out += static_cast<char>(0xE0 | (c >> 12));
      Out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      Out += static_cast<char>(0xF0 | (c >> 18));
      Out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      Out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  bool Hex4(std::uint32_t& Code) {
    if (FText.size() - FPos < 4) return false;
    Code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = FText[FPos++];
      const int Digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (Digit < 0) return false;
      Code = Code * 16 + static_cast<std::uint32_t>(Digit);
    }
    return true;
  }

  bool ReadString(std::string& Out) {
    ++FPos;  // the opening quote
    std::size_t Plain = FPos;
    for (;;) {
      if (FPos >= FText.size()) return false;
      const auto c = static_cast<unsigned char>(FText[FPos]);
      if (c == '"' || c == '\\') {
        Out.append(FText.substr(Plain, FPos - Plain));
        ++FPos;
        if (c == '"') return true;
        if (FPos >= FText.size()) return false;
        const char e = FText[FPos++];
        if (e == 'u') {
          std::uint32_t Code = 0;
          if (!Hex4(Code)) return false;
          if (Code >= 0xDC00 && Code <= 0xDFFF) return false;  // a lone low surrogate
          if (Code >= 0xD800 && Code <= 0xDBFF) {
            std::uint32_t Low = 0;
            if (!Literal("\\u") || !Hex4(Low) || Low < 0xDC00 || Low > 0xDFFF) return false;
            Code = 0x10000 + ((Code - 0xD800) << 10) + (Low - 0xDC00);
          }
          PutUtf8(Out, Code);
        } else {
          const std::size_t At = kEscapeLetters.find(e);
          if (At == std::string_view::npos) return false;
          Out += kEscapedChars[At];
        }
        Plain = FPos;
      } else if (c < 0x20) {
        return false;
      } else if (c < 0x80) {
        ++FPos;
      } else {
        const std::size_t Length = Utf8Length(FText.substr(FPos));
        if (Length == 0) return false;
        FPos += Length;
      }
    }
  }

 public:
  // The length of the well-formed UTF-8 character at the front of Text; 0 when there is
  // none (a stray byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
  static std::size_t Utf8Length(std::string_view Text) {
    if (Text.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(Text[0]);
    if (b0 < 0x80) return 1;
    std::size_t Length = 0;
    unsigned char Low = 0x80, High = 0xBF;  // the bounds of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      Length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      Length = 3;
      if (b0 == 0xE0) Low = 0xA0;
      if (b0 == 0xED) High = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      Length = 4;
      if (b0 == 0xF0) Low = 0x90;
      if (b0 == 0xF4) High = 0x8F;
    } else {
      return 0;
    }
    if (Text.size() < Length) return 0;
    const auto b1 = static_cast<unsigned char>(Text[1]);
    if (b1 < Low || b1 > High) return 0;
    for (std::size_t i = 2; i < Length; ++i)
      if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) return 0;
    return Length;
  }

 private:
  std::string_view FText;
  std::size_t FPos = 0;
};

// ---- Reading the fields of a message --------------------------------------------------------

const TValue* Member(const TValue& Object, std::string_view Name) {
  const TValue* Found = nullptr;
  for (const TValue& Item : Object.Items)
    if (Item.Key == Name) Found = &Item;
  return Found;
}

std::optional<TValue> ObjectOf(std::string_view Line) {
  if (Line.size() > kMaxLine) return std::nullopt;
  auto Value = TReader(Line).Document();
  if (!Value || Value->Kind != TValue::vkObject) return std::nullopt;
  return Value;
}

// A whole number in [Low, High] held exactly by a JSON double.
std::optional<std::uint64_t> WholeNumber(const TValue* Value, std::uint64_t Low,
                                         std::uint64_t High) {
  if (!Value || Value->Kind != TValue::vkNumber) return std::nullopt;
  const double D = Value->Number;
  if (!(D >= static_cast<double>(Low) && D <= static_cast<double>(High)) || std::floor(D) != D)
    return std::nullopt;
  return static_cast<std::uint64_t>(D);
}

std::optional<std::uint64_t> IdOf(const TValue& Object) {
  return WholeNumber(Member(Object, "id"), 1, kMaxId);
}

std::optional<std::string> BoundedString(const TValue* Value, std::size_t MaxBytes) {
  if (!Value || Value->Kind != TValue::vkString || Value->String.size() > MaxBytes)
    return std::nullopt;
  return Value->String;
}

std::optional<bool> BoolOf(const TValue* Value) {
  if (!Value || Value->Kind != TValue::vkBool) return std::nullopt;
  return Value->Bool;
}

// Plain decimal digits only: no sign, no spaces, no leading zeros, within 64 bits.
std::optional<THandle> Handle(const TValue* Value) {
  if (!Value || Value->Kind != TValue::vkString) return std::nullopt;
  const std::string& Text = Value->String;
  if (Text.empty() || Text.size() > 20 || (Text.size() > 1 && Text[0] == '0')) return std::nullopt;
  THandle Result = 0;
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Error] = std::from_chars(Text.data(), End, Result);
  if (Error != std::errc() || Ptr != End) return std::nullopt;
  return Result;
}

std::size_t CodePoints(std::string_view Text) {
  std::size_t Count = 0;
  for (const char c : Text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++Count;
  return Count;
}

// ---- Writing a message ---------------------------------------------------------------------

class TWriter {
 public:
  TWriter() { FOut = '{'; }
  TWriter& Name(std::string_view Field) {
    if (FOut.size() > 1) FOut += ',';
    String(Field);
    FOut += ':';
    return *this;
  }
  TWriter& Integer(std::uint64_t Value) {
    char Digits[24];
    const auto Result = std::to_chars(Digits, Digits + sizeof Digits, Value);
    FOut.append(Digits, Result.ptr);
    return *this;
  }
  TWriter& Bool(bool Value) {
    FOut += Value ? "true" : "false";
    return *this;
  }
  TWriter& Null() {
    FOut += "null";
    return *this;
  }
  TWriter& HandleText(THandle Value) {
    FOut += '"';
    Integer(Value);
    FOut += '"';
    return *this;
  }
  TWriter& OptionalString(const std::optional<std::string>& Text) {
    return Text ? String(*Text) : Null();
  }
  // Text is made valid UTF-8 on the way: a line holds nothing else.
  TWriter& String(std::string_view Text) {
    static constexpr char kHex[] = "0123456789abcdef";
    FOut += '"';
    const std::string Clean = ValidUtf8(Text);
    for (const char c : Clean) {
      const std::size_t At = c == '/' ? std::string_view::npos : kEscapedChars.find(c);
      if (At != std::string_view::npos) {
        FOut += '\\';
        FOut += kEscapeLetters[At];
      } else if (static_cast<unsigned char>(c) < 0x20) {
        FOut += "\\u00";
        FOut += kHex[(c >> 4) & 0xF];
        FOut += kHex[c & 0xF];
      } else {
        FOut += c;
      }
    }
    FOut += '"';
    return *this;
  }
  std::string& Raw() { return FOut; }
  std::string Done() {
    FOut += '}';
    return std::move(FOut);
  }

 private:
  std::string FOut;
};

constexpr std::pair<TOperation, std::string_view> kOperationNames[] = {
    {TOperation::opOpenKey, "openKey"},           {TOperation::opReadString, "readString"},
    {TOperation::opFindTopLevel, "findTopLevel"}, {TOperation::opChildren, "children"},
    {TOperation::opWindowText, "windowText"},     {TOperation::opUnixPath, "unixPath"},
};

std::string_view OperationName(TOperation Op) {
  for (const auto& [Value, Name] : kOperationNames)
    if (Value == Op) return Name;
  return {};
}

std::optional<TOperation> OperationOf(const TValue* Value) {
  if (!Value || Value->Kind != TValue::vkString) return std::nullopt;
  for (const auto& [Op, Name] : kOperationNames)
    if (Value->String == Name) return Op;
  return std::nullopt;
}

}  // namespace

std::string ValidUtf8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  std::size_t i = 0;
  while (i < Text.size()) {
    const std::size_t Length = TReader::Utf8Length(Text.substr(i));
    if (Length == 0) {
      Out += "\xEF\xBF\xBD";
      ++i;
    } else {
      Out.append(Text.substr(i, Length));
      i += Length;
    }
  }
  return Out;
}

std::string EncodeRequest(const TRequest& Request) {
  TWriter W;
  W.Name("id").Integer(Request.Id);
  W.Name("op").String(OperationName(Request.Op));
  switch (Request.Op) {
    case TOperation::opOpenKey:
      W.Name("key").String(Request.Key);
      W.Name("create").Bool(Request.CanCreate);
      break;
    case TOperation::opReadString:
      W.Name("key").String(Request.Key);
      W.Name("name").String(Request.Name);
      break;
    case TOperation::opFindTopLevel:
      W.Name("class").String(Request.ClassName);
      break;
    case TOperation::opChildren:
      W.Name("parent").HandleText(Request.Window);
      W.Name("class").String(Request.ClassName);
      break;
    case TOperation::opWindowText:
      W.Name("window").HandleText(Request.Window);
      W.Name("size").Integer(Request.BufferSize);
      break;
    case TOperation::opUnixPath:
      W.Name("path").String(Request.Path);
      break;
  }
  return W.Done();
}

std::optional<TRequest> DecodeRequest(std::string_view Line) {
  const auto Object = ObjectOf(Line);
  if (!Object) return std::nullopt;
  const auto Id = IdOf(*Object);
  const auto Op = OperationOf(Member(*Object, "op"));
  if (!Id || !Op) return std::nullopt;
  TRequest Request;
  Request.Id = *Id;
  Request.Op = *Op;
  auto Text = [&](const char* Field, std::size_t MaxBytes, std::string& Into) {
    auto Value = BoundedString(Member(*Object, Field), MaxBytes);
    if (Value) Into = std::move(*Value);
    return Value.has_value();
  };
  auto Window = [&](const char* Field) {
    const auto Value = Handle(Member(*Object, Field));
    if (Value) Request.Window = *Value;
    return Value.has_value();
  };
  switch (Request.Op) {
    case TOperation::opOpenKey: {
      const auto Create = BoolOf(Member(*Object, "create"));
      if (!Text("key", kMaxName, Request.Key) || !Create) return std::nullopt;
      Request.CanCreate = *Create;
      break;
    }
    case TOperation::opReadString:
      if (!Text("key", kMaxName, Request.Key) || !Text("name", kMaxName, Request.Name))
        return std::nullopt;
      break;
    case TOperation::opFindTopLevel:
      if (!Text("class", kMaxName, Request.ClassName)) return std::nullopt;
      break;
    case TOperation::opChildren:
      if (!Window("parent") || !Text("class", kMaxName, Request.ClassName)) return std::nullopt;
      break;
    case TOperation::opWindowText: {
      const auto Size = WholeNumber(Member(*Object, "size"), 0, kMaxBufferSize);
      if (!Window("window") || !Size) return std::nullopt;
      Request.BufferSize = static_cast<std::size_t>(*Size);
      break;
    }
    case TOperation::opUnixPath:
      if (!Text("path", kMaxPathBytes, Request.Path)) return std::nullopt;
      break;
  }
  return Request;
}

std::string EncodeAnswer(TOperation Op, const TAnswer& Answer) {
  TWriter W;
  W.Name("id").Integer(Answer.Id);
  if (Answer.Unanswered) {
    W.Name("unanswered").Bool(true);
    return W.Done();
  }
  switch (Op) {
    case TOperation::opOpenKey:
      W.Name("ok").Bool(Answer.Opened);
      break;
    case TOperation::opReadString:
      W.Name("value").OptionalString(Answer.Text);
      break;
    case TOperation::opFindTopLevel:
      W.Name("window").HandleText(Answer.Window);
      break;
    case TOperation::opChildren: {
      W.Name("windows");
      W.Raw() += '[';
      bool First = true;
      for (const THandle Child : Answer.Windows) {
        if (!First) W.Raw() += ',';
        First = false;
        W.HandleText(Child);
      }
      W.Raw() += ']';
      break;
    }
    case TOperation::opWindowText:
      W.Name("text").OptionalString(Answer.Text);
      break;
    case TOperation::opUnixPath:
      W.Name("path").OptionalString(Answer.Text);
      if (Answer.NotUnderWine) W.Name("wine").Bool(false);
      break;
  }
  return W.Done();
}

std::optional<TAnswer> DecodeAnswer(TOperation Op, std::string_view Line) {
  const auto Object = ObjectOf(Line);
  if (!Object) return std::nullopt;
  const auto Id = IdOf(*Object);
  if (!Id) return std::nullopt;
  TAnswer Answer;
  Answer.Id = *Id;
  if (const TValue* Late = Member(*Object, "unanswered")) {
    if (!BoolOf(Late).value_or(false)) return std::nullopt;
    Answer.Unanswered = true;
    return Answer;
  }
  // A text is either null or a string; a missing field is not an answer.
  auto Text = [&](const char* Field, std::size_t MaxBytes, std::size_t MaxChars) {
    const TValue* Value = Member(*Object, Field);
    if (Value && Value->Kind == TValue::vkNull) return true;
    auto Bytes = BoundedString(Value, MaxBytes);
    if (!Bytes || CodePoints(*Bytes) > MaxChars) return false;
    Answer.Text = std::move(*Bytes);
    return true;
  };
  switch (Op) {
    case TOperation::opOpenKey: {
      const auto Ok = BoolOf(Member(*Object, "ok"));
      if (!Ok) return std::nullopt;
      Answer.Opened = *Ok;
      break;
    }
    case TOperation::opReadString:
      if (!Text("value", kMaxValueBytes, kMaxValueBytes)) return std::nullopt;
      break;
    case TOperation::opFindTopLevel: {
      const auto Window = Handle(Member(*Object, "window"));
      if (!Window) return std::nullopt;
      Answer.Window = *Window;
      break;
    }
    case TOperation::opChildren: {
      const TValue* List = Member(*Object, "windows");
      if (!List || List->Kind != TValue::vkArray || List->Items.size() > kMaxChildren)
        return std::nullopt;
      for (const TValue& Item : List->Items) {
        const auto Child = Handle(&Item);
        if (!Child || *Child == 0) return std::nullopt;
        Answer.Windows.push_back(*Child);
      }
      break;
    }
    case TOperation::opWindowText:
      if (!Text("text", kMaxLine, kMaxBufferSize - 1)) return std::nullopt;
      break;
    case TOperation::opUnixPath: {
      if (!Text("path", kMaxPathBytes, kMaxPathBytes)) return std::nullopt;
      if (const TValue* Wine = Member(*Object, "wine")) {
        const auto Under = BoolOf(Wine);
        if (!Under) return std::nullopt;
        Answer.NotUnderWine = !*Under;
      }
      break;
    }
  }
  return Answer;
}

std::optional<std::uint64_t> LineId(std::string_view Line) {
  const auto Object = ObjectOf(Line);
  return Object ? IdOf(*Object) : std::nullopt;
}

std::string EncodeError(std::string_view Message) {
  TWriter W;
  W.Name("error").String(Message);
  return W.Done();
}

TAnswer AnswerRequest(const TRequest& Request, TLoggerRegistry& Registry, TWindowLookup& Windows,
                      TLoggerPaths* Paths) {
  TAnswer Answer;
  Answer.Id = Request.Id;
  // The sources belong to the logger's side; whatever they throw reads as "missing" here
  // rather than escaping into the server's loop.
  try {
    switch (Request.Op) {
      case TOperation::opOpenKey:
        Answer.Opened = Registry.OpenKey(Request.Key, Request.CanCreate);
        if (Answer.Opened) Registry.CloseKey();
        break;
      case TOperation::opReadString:
        if (Registry.OpenKey(Request.Key, false)) {
          const auto Value = Registry.ReadString(Request.Name);
          Registry.CloseKey();
          if (Value) {
            // Valid UTF-8 from here on, so that its size is the size on the wire.
            std::string Clean = ValidUtf8(*Value);
            if (Clean.size() <= kMaxValueBytes) Answer.Text = std::move(Clean);
          }
        }
        break;
      case TOperation::opFindTopLevel:
        Answer.Window = Windows.FindTopLevel(Request.ClassName);
        break;
      case TOperation::opChildren:
        for (const THandle Child : Windows.Children(Request.Window, Request.ClassName)) {
          if (Answer.Windows.size() == kMaxChildren) break;
          if (Child != 0) Answer.Windows.push_back(Child);
        }
        break;
      case TOperation::opWindowText:
        if (const auto Text = Windows.WindowText(Request.Window, Request.BufferSize))
          // A torn character becomes U+FFFD: the answer is JSON, which holds valid UTF-8 only.
          Answer.Text = ValidUtf8(
              platform::LimitText(*Text, Request.BufferSize > 0 ? Request.BufferSize - 1 : 0));
        break;
      case TOperation::opUnixPath:
        if (!Paths) {
          Answer.NotUnderWine = true;
        } else if (auto Path = Paths->LocalPath(Request.Path)) {
          std::string Clean = ValidUtf8(*Path);
          if (Clean.size() <= kMaxPathBytes) Answer.Text = std::move(Clean);
        }
        break;
    }
    const bool WindowCall = Request.Op == TOperation::opFindTopLevel ||
                            Request.Op == TOperation::opChildren ||
                            Request.Op == TOperation::opWindowText;
    if (WindowCall && Windows.LastCallUnanswered()) {
      TAnswer Late;
      Late.Id = Request.Id;
      Late.Unanswered = true;
      return Late;
    }
  } catch (const std::exception&) {
    TAnswer Missing;
    Missing.Id = Request.Id;
    return Missing;
  }
  return Answer;
}

bool TLineBuffer::Append(std::string_view Data) {
  if (FStart > 0) {
    FData.erase(0, FStart);
    FStart = 0;
  }
  FData.append(Data);
  const std::size_t LastBreak = FData.rfind('\n');
  const std::size_t Pending =
      LastBreak == std::string::npos ? FData.size() : FData.size() - (LastBreak + 1);
  return Pending <= kMaxLine;
}

std::optional<std::string> TLineBuffer::NextLine() {
  const std::size_t Break = FData.find('\n', FStart);
  if (Break == std::string::npos) return std::nullopt;
  std::size_t End = Break;
  // Tolerate CRLF from a peer on Windows.
  if (End > FStart && FData[End - 1] == '\r') --End;
  std::string Line = FData.substr(FStart, End - FStart);
  FStart = Break + 1;
  if (FStart == FData.size()) Clear();
  return Line;
}

}  // namespace platform::hostprotocol
