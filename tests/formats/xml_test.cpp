#include "globe/formats/xml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <string>
#include <vector>

#include "globe/core/numeric.h"
#include "platform/filesystem.h"

namespace globe {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Reserialised(std::string_view text) {
  TGXML_Document doc;
  doc.SetAsString(text);
  return doc.AsString();
}

TEST(XmlSerialisation, LayerWithEmptyChildIsThreeLinesAndParsesBack) {
  TGXML_Document doc;
  auto layer = std::make_unique<TGXML_Element>();
  layer->AddAttribute("Name", "World");
  layer->AddBoolAttribute("Visible", true);
  layer->AddElement("Presenters", nullptr);
  doc.Document()->AddElement("TGlobeLayer", std::move(layer));
  const std::string text =
      "<TGlobeLayer Name=\"World\" Visible=\"T\">\r\n"
      " <Presenters />\r\n"
      "</TGlobeLayer>\r\n";
  EXPECT_EQ(doc.AsString(), text);

  TGXML_Document back;
  back.SetAsString(text);
  const TGXML_Element& root = *back.Document();
  ASSERT_EQ(root.Count(), 1u);
  EXPECT_EQ(root.Kind(0), TGXML_EntryKind::ekElement);
  const TGXML_Element* parsed = root.ElementByName("TGlobeLayer");
  ASSERT_NE(parsed, nullptr);
  ASSERT_EQ(parsed->Count(), 3u);
  EXPECT_EQ(parsed->Text(0), "Name=\"World\"");
  EXPECT_EQ(parsed->Kind(1), TGXML_EntryKind::ekAttribute);
  EXPECT_EQ(parsed->Text(2), "Presenters");
  ASSERT_NE(parsed->Child(2), nullptr);
  EXPECT_EQ(parsed->Child(2)->Count(), 0u);
  EXPECT_EQ(back.AsString(), text);
}

TEST(XmlSerialisation, IndentsOneSpacePerLevelAndWritesTextUnindented) {
  TGXML_Document doc;
  TGXML_Element* globe = doc.Document()->AddElement("  Globe ", nullptr);
  globe->AddAttribute("  Zoom ", " 2 ");
  TGXML_Element* view = globe->AddElement("View", nullptr);
  TGXML_Element* pen = view->AddElement("Pen", nullptr);
  pen->AddAttribute("Color", "clBlack");
  pen->AddIntAttribute("Width", 1);
  view->AddText("  first line ");
  view->AddTextElement("Caption", "Home");
  doc.Document()->AddText("tail");
  EXPECT_EQ(doc.AsString(),
            "<Globe Zoom=\"2\">\r\n"
            " <View>\r\n"
            "  <Pen Color=\"clBlack\" Width=\"1\" />\r\n"
            "first line\r\n"
            "  <Caption>\r\n"
            "Home\r\n"
            "  </Caption>\r\n"
            " </View>\r\n"
            "</Globe>\r\n"
            "tail\r\n");
}

TEST(XmlParser, OddInputsGiveTheTreeOfTheCursorRules) {
  struct Case {
    const char* input;
    const char* serialised;
  } cases[] = {
      {"", ""},
      {"  \r\n ", ""},
      {"just text", "just text\r\n"},
      {"  pre <a /> mid <b /> post ", "pre\r\n<a />\r\nmid\r\n<b />\r\npost\r\n"},
      // Closing tags are not matched against the open element.
      {"<a>x</b>y", "<a>\r\nx\r\n</a>\r\ny\r\n"},
      // Unclosed elements end with the text.
      {"<a><b>", "<a>\r\n <b />\r\n</a>\r\n"},
      {"text<tail", "text\r\n<tail />\r\n"},
      // A closing tag at the top level ends the parse.
      {"<a /></x><b />", "<a />\r\n"},
      {"< a>later", ""},
      {"<>", ""},
      // The name ends at a space or ">", so "/" glued to it belongs to the name.
      {"<a/><b />", "<a/>\r\n <b />\r\n</a/>\r\n"},
      {"<a x=\"1\"/>", "<a x=\"1\" />\r\n"},
      // A closing tag ends at its ">", whatever stands between.
      {"<a></a junk>tail", "<a />\r\ntail\r\n"},
      {"<a></a <b x=\"1\">tail", "<a />\r\ntail\r\n"},
      // Whether a tag closes is decided on its name as stored: trimmed.
      {"<a><\t/a>b", "<a />\r\nb\r\n"},
      {"<a><\x0f/ <\x0f/=\"", "<a />\r\n"},
      // Values are taken up to the next quote, names are everything before ="; both trimmed.
      {"<a x=\"1 y=\"2\">", "<a x=\"1 y=\" />\r\n"},
      {"<a  x=\" v \"  y=\"\" />", "<a x=\"v\" y=\"\" />\r\n"},
      {"<a x = \"1\">", "<a />\r\n"},
      {"<a x=\"unterminated />", "<a x=\"unterminated /\" />\r\n"},
      {"<a x=1>", "<a />\r\n"},
      {"<a x=\"1\" junk z=\"3\">", "<a x=\"1\" junk z=\"3\" />\r\n"},
      {"<a x=\"p>q\">", "<a x=\"p\">\r\nq\">\r\n</a>\r\n"},
      // Names are trimmed of control characters, not split at them.
      {"<\tb\t>", "<b />\r\n"},
      {"<a\tb>", "<a\tb />\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Reserialised(c.input), c.serialised) << c.input;
}

// Every entry in document order, its depth shown by leading dots.
std::vector<std::string> Flat(const TGXML_Element& E, const std::string& Depth = "") {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < E.Count(); ++i) {
    const char kind = E.Kind(i) == TGXML_EntryKind::ekAttribute ? 'a'
                      : E.Kind(i) == TGXML_EntryKind::ekElement ? 'e'
                                                                : 't';
    out.push_back(Depth + kind + ' ' + E.Text(i));
    if (const TGXML_Element* child = E.Child(i)) {
      for (std::string& line : Flat(*child, Depth + '.')) out.push_back(std::move(line));
    }
  }
  return out;
}

// Saving and reading back must give the tree that was read: damaged or hand-edited files
// changed shape at every save (a closing tag after a control character came back as an
// element, its attribute text as new tags).
TEST(XmlParser, ASavedTreeReadsBackTheSame) {
  const char* inputs[] = {
      "<a><\x0f/ <\x0f/=\"",
      "<a><\x01/b x=\"<c>\">tail</a>",
      "<a>< /b><\t>text<c/>more</c/>",
      "<a x=\"1\" y z=\"<\"/><b><c x=\"/\"></b>",
      "<a/ x=\"1\"><b\tc=\"2\"/>",
      "<a x=\"unterminated /><b>",
      "</top>ignored",
  };
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    TGXML_Document first;
    first.SetAsString(input);
    const std::string written = first.AsString();
    TGXML_Document second;
    second.SetAsString(written);
    EXPECT_EQ(Flat(*second.Document()), Flat(*first.Document()));
    EXPECT_EQ(second.AsString(), written);
  }
}

// What the text form cannot carry is replaced when the entry is made, so that the element
// holds what it writes and a saved document reads back as the same tree.
TEST(XmlSerialisation, EntriesHoldOnlyWhatReadsBackTheSame) {
  struct Case {
    const char* what;
    void (*build)(TGXML_Element&);
    const char* written;
  } cases[] = {
      {"empty name", [](TGXML_Element& r) { r.AddElement(" ", nullptr); }, "<_ />\r\n"},
      {"name of a closing tag",
       [](TGXML_Element& r) { r.AddElement("/Layer", nullptr)->AddText("x"); },
       "<_Layer>\r\nx\r\n</_Layer>\r\n"},
      {"space and > in a name", [](TGXML_Element& r) { r.AddElement("My Layer>1", nullptr); },
       "<My_Layer_1 />\r\n"},
      {"quote and > in a value",
       [](TGXML_Element& r) { r.AddElement("L", nullptr)->AddAttribute("Name", "\"Best\" > 2"); },
       "<L Name=\"'Best' _ 2\" />\r\n"},
      {"=\" in an attribute name",
       [](TGXML_Element& r) { r.AddElement("L", nullptr)->AddAttribute("x=\"y>", "1"); },
       "<L x='y_=\"1\" />\r\n"},
      {"< in a text", [](TGXML_Element& r) { r.AddTextElement("T", "a<b"); },
       "<T>\r\na_b\r\n</T>\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TGXML_Document doc;
    c.build(*doc.Document());
    EXPECT_EQ(doc.AsString(), c.written);
    TGXML_Document back;
    back.SetAsString(c.written);
    EXPECT_EQ(Flat(*back.Document()), Flat(*doc.Document()));
  }
  // Names, quotes and brackets that read back as they are stay as they are.
  TGXML_Element e;
  e.AddAttribute("a=", "x<y/");
  e.AddAttribute("q\"", "");
  EXPECT_EQ(e.Text(0), "a==\"x<y/\"");
  EXPECT_EQ(e.Text(1), "q\"=\"\"");
}

TEST(XmlParser, ReplacesTheWholeTree) {
  TGXML_Document doc;
  doc.SetAsString("<a />");
  doc.SetAsString("<b />");
  EXPECT_EQ(doc.Document()->ElementByName("a"), nullptr);
  EXPECT_NE(doc.Document()->ElementByName("b"), nullptr);
  doc.SetDocument(nullptr);
  EXPECT_EQ(doc.Document()->Count(), 0u);
  // The new tree itself: a freed tree's address may come back for the next element.
  auto fresh = std::make_unique<TGXML_Element>();
  const TGXML_Element* given = fresh.get();
  doc.SetDocument(std::move(fresh));
  EXPECT_EQ(doc.Document(), given);
  EXPECT_EQ(doc.AsString(), "");
}

TEST(XmlLookups, ElementsByExactNameAndOccurrence) {
  TGXML_Document doc;
  doc.SetAsString("<Layer id=\"0\" /><layer id=\"x\" /><Other /><Layer id=\"1\" />x");
  const TGXML_Element& root = *doc.Document();
  ASSERT_NE(root.ElementByName("Layer", 1), nullptr);
  EXPECT_EQ(root.ElementByName("Layer", 1)->AttributeByName("id", ""), "1");
  EXPECT_EQ(root.ElementByName("Layer")->AttributeByName("id", ""), "0");
  EXPECT_EQ(root.ElementByName("Layer", 2), nullptr);
  EXPECT_EQ(root.ElementByName("LAYER"), nullptr);
  EXPECT_EQ(root.ElementByName("x"), nullptr);  // a text entry is no element
  EXPECT_THROW((void)root.Text(root.Count()), EGlobeException);
}

TEST(XmlLookups, AttributesIgnoreCaseAndOnlyAttributeEntriesMatch) {
  TGXML_Document doc;
  doc.SetAsString("<e>Color=red</e><e Visible=\"T\" Empty=\"\" Eq=\"a=b\"><Width=\"9\" /></e>");
  const TGXML_Element& textOnly = *doc.Document()->ElementByName("e");
  // A text or child element that looks like an attribute is not one.
  EXPECT_EQ(textOnly.AttributeByName("Color", "none"), "none");
  const TGXML_Element& e = *doc.Document()->ElementByName("e", 1);
  EXPECT_EQ(e.AttributeByName("visible", "?"), "T");
  EXPECT_EQ(e.AttributeByName("VISIBLE", "?"), "T");
  EXPECT_EQ(e.AttributeByName("Empty", "default"), "");
  EXPECT_EQ(e.AttributeByName("Eq", ""), "a=b");
  EXPECT_EQ(e.AttributeByName("Width", "none"), "none");
  EXPECT_EQ(e.AttributeByName("Missing", "default"), "default");

  EXPECT_EQ(e.GetAttributeNames(0), "Visible");
  EXPECT_EQ(e.GetAttributeNames(2), "Eq");
  EXPECT_EQ(e.GetAttributeNames(3), "");  // the child element is not counted
  EXPECT_EQ(e.GetAttributeNames(-1), "");
}

TEST(XmlLookups, TypedAttributesAndTheirFailures) {
  TGXML_Element e;
  e.AddBoolAttribute("Off", false);
  e.AddBoolAttribute("On", true);
  e.AddAttribute("Lower", "t");
  e.AddIntAttribute("Int", -42);
  e.AddAttribute("Empty", "");
  e.AddAttribute("Bad", "4x");
  e.AddAttribute("Comma", "1,5");
  e.AddFloatAttribute("Small", 1.8606784235054e-5L);

  struct BoolCase {
    const char* name;
    bool fallback, expected;
  } bools[] = {{"Off", true, false},    {"On", false, true},     {"Lower", true, true},
               {"Lower", false, false}, {"Missing", true, true}, {"Int", false, false}};
  for (const auto& c : bools)
    EXPECT_EQ(e.BoolAttributeByName(c.name, c.fallback), c.expected) << c.name;

  EXPECT_EQ(e.IntAttributeByName("Int", 7), -42);
  EXPECT_EQ(e.IntAttributeByName("Missing", 7), 7);
  EXPECT_THROW((void)e.IntAttributeByName("Empty", 7), EConvertError);
  EXPECT_THROW((void)e.IntAttributeByName("Bad", 7), EConvertError);

  EXPECT_EQ(e.AttributeByName("Small", ""), "1.8606784235054E-5");
  EXPECT_EQ(e.FloatAttributeByName("Missing", 2.5L), 2.5L);
  EXPECT_EQ(e.FloatAttributeByName("Empty", 2.5L), 2.5L);
  EXPECT_EQ(e.FloatAttributeByName("Int", 0), -42.0L);
  EXPECT_THROW((void)e.FloatAttributeByName("Comma", 0), EConvertError);
}

TEST(XmlLookups, FloatsUseAPointUnderACommaLocale) {
  const char* saved = std::setlocale(LC_ALL, nullptr);
  const std::string restore = saved ? saved : "C";
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      comma = name;
      break;
    }
  }
  if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  const std::locale savedGlobal = std::locale::global(std::locale(comma));

  for (long double v : {1.5L, -1234.56789012345L, 1.0L / 3, 6.02214076e23L, 1e-7L}) {
    TGXML_Element e;
    e.AddFloatAttribute("V", v);
    EXPECT_THAT(e.Text(0), Not(HasSubstr(",")));
    const long double back = e.FloatAttributeByName("V", 0);
    EXPECT_EQ(FloatToStrGeneral(back, 15), FloatToStrGeneral(v, 15));
    EXPECT_NEAR(static_cast<double>(back / v), 1.0, 1e-14);
  }
  std::locale::global(savedGlobal);
  std::setlocale(LC_ALL, restore.c_str());
}

TEST(XmlBinary, UpperCaseHexHighNibbleFirstAndBoundedDecode) {
  TGXML_Element e;
  const unsigned char bytes[] = {0x00, 0xAB, 0xFF};
  const TGXML_Element* bin = e.AddBinaryElement("Data", bytes, 3);
  ASSERT_EQ(bin->Count(), 1u);
  EXPECT_EQ(bin->Text(0), "00ABFF");
  EXPECT_EQ(e.AddBinaryElement("None", bytes, 0)->Text(0), "");

  unsigned char out[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(bin->AsBinary(out, 3), 3);
  EXPECT_THAT(out, ::testing::ElementsAre(0x00, 0xAB, 0xFF, 9, 9, 9));
  // Beyond the text the buffer is zeroed; a short buffer stops the decode.
  EXPECT_EQ(bin->AsBinary(out, 5), 5);
  EXPECT_THAT(out, ::testing::ElementsAre(0x00, 0xAB, 0xFF, 0, 0, 9));
  std::fill(std::begin(out), std::end(out), 9);
  EXPECT_EQ(bin->AsBinary(out, 2), 2);
  EXPECT_THAT(out, ::testing::ElementsAre(0x00, 0xAB, 9, 9, 9, 9));
  EXPECT_EQ(bin->AsBinary(out, 0), 0);
  EXPECT_EQ(bin->AsBinary(nullptr, -1), 0);

  // Lower case is read, other characters count as 0, and an odd digit fills a high nibble.
  TGXML_Document doc;
  doc.SetAsString("<B>ab zZ 1</B>");
  std::fill(std::begin(out), std::end(out), 9);
  EXPECT_EQ(doc.Document()->ElementByName("B")->AsBinary(out, 4), 4);
  EXPECT_THAT(out, ::testing::ElementsAre(0xAB, 0x00, 0x00, 0x10, 9, 9));
}

class XmlFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder of its own: ctest runs the tests of one program side by side.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("xmltest-" + std::string(info->name()) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(std::filesystem::create_directory(dir_));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathTo(const char* name) const { return platform::Utf8Path(dir_ / name); }
  std::string ReadBytes(const char* name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteBytes(const char* name, std::string_view bytes) const {
    std::ofstream(dir_ / name, std::ios::binary).write(bytes.data(), std::ssize(bytes));
  }

  std::filesystem::path dir_;
};

TEST_F(XmlFile, SavesTheCodePageAndLoadsBackWithLinesJoined) {
  TGXML_Document doc;
  TGXML_Element* city = doc.Document()->AddElement("City", nullptr);
  city->AddAttribute("Name", "Z\u00fcrich \u20ac");
  TGXML_Element* note = city->AddElement("Note", nullptr);
  note->AddText("first");
  note->AddText("second");
  doc.SaveToFile(PathTo("env.xml"));
  EXPECT_EQ(
      ReadBytes("env.xml"),
      "<City Name=\"Z\xFCrich \x80\">\r\n <Note>\r\nfirst\r\nsecond\r\n </Note>\r\n</City>\r\n");

  TGXML_Document back;
  back.Document()->AddText("stale");
  ASSERT_TRUE(back.LoadFromFile(PathTo("env.xml")));
  const TGXML_Element* loaded = back.Document()->ElementByName("City");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(back.Document()->Count(), 1u);
  EXPECT_EQ(loaded->AttributeByName("name", ""), "Z\u00fcrich \u20ac");
  // Two text lines come back as one entry.
  const TGXML_Element* text = loaded->ElementByName("Note");
  ASSERT_EQ(text->Count(), 1u);
  EXPECT_EQ(text->Text(0), "firstsecond");
}

TEST_F(XmlFile, LineEndsOfEveryKindAreDroppedBeforeParsing) {
  WriteBytes("mixed.xml", "<a x=\"1\r\n2\"\n>3\r4\n</a>\r");
  TGXML_Document doc;
  ASSERT_TRUE(doc.LoadFromFile(PathTo("mixed.xml")));
  EXPECT_EQ(doc.AsString(), "<a x=\"12\">\r\n34\r\n</a>\r\n");
}

TEST_F(XmlFile, MissingFileIsFalseWithAnEmptyRootAndOtherErrorsRaise) {
  TGXML_Document doc;
  doc.SetAsString("<a />");
  EXPECT_FALSE(doc.LoadFromFile(PathTo("absent.xml")));
  EXPECT_EQ(doc.Document()->Count(), 0u);

  const std::string inMissingDir = PathTo("no/such/dir.xml");
  EXPECT_THAT([&] { doc.SaveToFile(inMissingDir); },
              ::testing::ThrowsMessage<EGlobeException>(HasSubstr(inMissingDir)));
  const std::string directory = platform::Utf8Path(dir_);
  EXPECT_THAT([&] { (void)doc.LoadFromFile(directory); },
              ::testing::ThrowsMessage<EGlobeException>(HasSubstr(directory)));
}

class TTestPersistent : public TGlobeENVPersistent {
  GLOBE_CLASS(TTestPersistent, TGlobeENVPersistent)
 public:
  void LoadEnvironment(const TGXML_Element* Element) override {
    ++loads;
    if (Element == nullptr) return;
    value = Element->IntAttributeByName("Value", -1);
  }
  std::unique_ptr<TGXML_Element> SaveEnvironment() override {
    auto e = std::make_unique<TGXML_Element>();
    e->AddIntAttribute("Value", value);
    return e;
  }
  int value = 0;
  int loads = 0;
};

TEST_F(XmlFile, EnvironmentIsFiledUnderTheClassName) {
  TTestPersistent saved;
  saved.value = 17;
  saved.SaveEnvironmentToFile(PathTo("p.xml"));
  EXPECT_EQ(ReadBytes("p.xml"), "<TTestPersistent Value=\"17\" />\r\n");

  TTestPersistent loaded;
  loaded.LoadEnvironmentFromFile(PathTo("p.xml"));
  EXPECT_EQ(loaded.loads, 1);
  EXPECT_EQ(loaded.value, 17);

  loaded.LoadEnvironmentFromFile(PathTo("absent.xml"));
  EXPECT_EQ(loaded.loads, 1);  // nothing to load, no call

  WriteBytes("other.xml", "<TGlobe Value=\"3\" />");
  loaded.LoadEnvironmentFromFile(PathTo("other.xml"));
  EXPECT_EQ(loaded.loads, 2);  // called with null: the value stays
  EXPECT_EQ(loaded.value, 17);
}

// Nesting depth comes from the input; none of parsing, writing or freeing may recurse.
TEST(XmlDeepTrees, AMillionNestedOpenTagsParseAndFree) {
  constexpr int kDepth = 1'000'000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  auto doc = std::make_unique<TGXML_Document>();
  doc->SetAsString(text);
  int depth = 0;
  for (const TGXML_Element* e = doc->Document()->ElementByName("a"); e != nullptr;
       e = e->ElementByName("a")) {
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  doc.reset();
}

TEST(XmlDeepTrees, WritingADeepTreeNeedsLittleStack) {
  // The text of a tree grows with the square of its depth, so the depth stays modest and
  // the stack is made small instead.
  constexpr int kDepth = 5000;
  struct Job {
    TGXML_Document doc;
    std::string text;
  } job;
  TGXML_Element* e = job.doc.Document();
  for (int i = 0; i < kDepth; ++i) e = e->AddElement("a", nullptr);
  e->AddText("x");

  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 128 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* p) -> void* {
                  auto* j = static_cast<Job*>(p);
                  j->text = j->doc.AsString();
                  return nullptr;
                },
                &job),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);

  // Opening and closing line per level (depth d: d spaces, "<a>" or "</a>", CR LF), the text.
  const std::size_t expected = std::size_t{kDepth} * (kDepth - 1) + kDepth * (5 + 6) + 3;
  EXPECT_EQ(job.text.size(), expected);
  EXPECT_EQ(job.text.substr(0, 12), "<a>\r\n <a>\r\n ");
  EXPECT_EQ(job.text.substr(job.text.size() - 6), "</a>\r\n");
}

}  // namespace
}  // namespace globe
