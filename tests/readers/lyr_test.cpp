#include "globe/readers/lyr.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "globe/formats/memorymap.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/presenter.h"
#include "platform/filesystem.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

/// A second object class, so that files can mix classes.
class TTestDataObject : public TGeoDataObject {
  GLOBE_CLASS(TTestDataObject, TGeoDataObject)
 public:
  using TGeoDataObject::TGeoDataObject;
};

/// Exposes the reader's index.
class TLYRProbe : public TGlobeLYRReader {
 public:
  using TGlobeLYRReader::TGlobeLYRReader;
  [[nodiscard]] std::vector<std::string> ClassNames() const {
    std::vector<std::string> names;
    for (const TGlobeClass* c : FObjectClasses) names.emplace_back(c->ClassName());
    return names;
  }
  [[nodiscard]] std::vector<std::int32_t> ClassIndexes() const {
    std::vector<std::int32_t> indexes;
    for (const TDataItem& item : FDataItems) indexes.push_back(item.ClassIndex);
    return indexes;
  }
};

/// Hand-made LYR bytes.
class LYRBytes {
 public:
  LYRBytes& Header(std::uint16_t Version = 0x0405) {
    w_.WriteWord(Version);
    w_.WriteRect({1, 2, 3, 4});  // skipped by the reader, whatever it holds
    return *this;
  }
  LYRBytes& Int(std::int32_t Value) {
    w_.WriteInteger(Value);
    return *this;
  }
  LYRBytes& Str(std::string_view Value) {
    w_.WriteShortString(Value);
    return *this;
  }
  LYRBytes& Raw(const std::vector<std::uint8_t>& Bytes) {
    w_.WriteBuffer(Bytes.data(), Bytes.size());
    return *this;
  }
  LYRBytes& Group(std::int32_t Count, std::string_view Class) { return Int(Count).Str(Class); }
  LYRBytes& Record(TGlobePresenter& P) {
    P.WriteProperties(w_);
    return *this;
  }
  LYRBytes& Record(TGlobeObject& O) {
    O.WriteProperties(w_);
    return *this;
  }
  /// The first n bytes of the presenter's or object's record.
  template <class T>
  LYRBytes& Cut(T& Item, std::size_t n) {
    LYRBytes whole;
    whole.Record(Item);
    std::vector<std::uint8_t> bytes = whole.Bytes();
    bytes.resize(n);
    return Raw(bytes);
  }
  [[nodiscard]] std::vector<std::uint8_t> Bytes() const {
    return static_cast<const TGlobeMemoryStream&>(w_.DataStream()).Bytes();
  }

 private:
  TGlobeStreamWriter w_{std::make_unique<TGlobeMemoryStream>()};
};

std::vector<std::uint8_t> ReadBytes(const std::string& File) {
  std::ifstream in(platform::FsPath(File), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& File, const std::vector<std::uint8_t>& Bytes) {
  std::ofstream out(platform::FsPath(File), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Bytes.data()),
            static_cast<std::streamsize>(Bytes.size()));
}

std::string ErrorOf(const std::function<void()>& Call) {
  try {
    Call();
  } catch (const EGlobeException& e) {
    return e.what();
  }
  return "(no exception)";
}

/// What a reader holds, in a comparable form: presenters as "class id name", objects as
/// "class title points".
struct Contents {
  std::vector<std::string> presenters;
  std::vector<std::string> objects;
  friend bool operator==(const Contents&, const Contents&) = default;
};

void PrintTo(const Contents& C, std::ostream* os) {
  for (const auto& p : C.presenters) *os << "[" << p << "] ";
  for (const auto& o : C.objects) *os << "{" << o << "} ";
}

std::string Describe(TGlobeObject& O) {
  std::string text = std::string(O.ClassName()) + " " + O.Title();
  if (auto* geo = dynamic_cast<TGeoDataObject*>(&O)) {
    for (std::int32_t c = 0; c < geo->Chains().Count(); ++c) {
      const TPointStore& chain = geo->Chains().GetChain(c);
      for (std::int32_t i = 0; i < chain.Count(); ++i) {
        const TPointLL pt = chain.GetLL(i);
        text += ' ';
        text += std::to_string(pt.iLongX);
        text += ',';
        text += std::to_string(pt.iLatY);
      }
    }
  }
  return text;
}

Contents ContentsOf(TGlobeObjectSource& Source) {
  Contents c;
  for (std::int32_t i = 0; i < Source.Presenters().Count(); ++i) {
    const TGlobePresenter& p = Source.Presenters().GetPresenter(i);
    c.presenters.push_back(std::string(p.ClassName()) + " " + std::to_string(p.PresenterID()) +
                           " " + p.Name());
  }
  for (std::int32_t i = 0; i < Source.Count(); ++i) c.objects.push_back(Describe(Source.GetObject(i)));
  return c;
}

class LYRTest : public ObjectsTest {
 protected:
  // Objects and presenters to write; the source owns the objects.
  TGlobeObjectSource samples{&globe};
  TGeoDataObject& A = Sample<TGeoDataObject>("Alpha", {Deg(1, 2), Deg(3, 4)});
  TGeoDataObject& B = Sample<TGeoDataObject>("Beta", {Deg(-10, 20), Deg(-11, 21), Deg(-12, 20)});
  TTestDataObject& C = Sample<TTestDataObject>("Gamma", {Deg(100.5, -45)});
  TGeoDataObject& D = Sample<TGeoDataObject>("Delta", {Deg(0, 0), Deg(0, 1)});
  TPolygonPresenter P1{&globe, 1};
  TPolygonPresenter P2{&globe, 2};
  TPolylinePresenter P3{&globe, 3};

  LYRTest() {
    RegisterGlobeClass<TTestDataObject>();
    P1.SetName("land");
    P2.SetName("sea");
    P3.SetName("rivers");
    B.SetClosed(true);
  }

  template <class T>
  T& Sample(const std::string& Title, std::initializer_list<TPointLL> Points) {
    T* obj = MakeGlobeObject<T>(&samples);
    obj->SetTitle(Title);
    obj->Chains().Add(Chain(Points));
    return *obj;
  }

  /// Writes Bytes to a new file in the scratch folder and returns its name.
  std::string File(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
    const std::string name = Scratch(Name);
    WriteBytes(name, Bytes);
    return name;
  }

  std::unique_ptr<TLYRProbe> Reader(const std::string& File,
                                    TSaveMetaDataLocation Location = smdWithDataFile) {
    globe.SetSaveMetaDataLocation(Location);
    auto reader = std::make_unique<TLYRProbe>(&globe);
    reader->SetFileName(File);
    return reader;
  }

  std::unique_ptr<TLYRProbe> Open(const std::string& File,
                                  TSaveMetaDataLocation Location = smdWithDataFile) {
    auto reader = Reader(File, Location);
    reader->SetActive(true);
    EXPECT_TRUE(reader->Active()) << File;
    return reader;
  }

  /// Presenters 1 and 2 (polygons) and 3 (polyline); objects A, B, C (the test class), D.
  std::string MixedFile() {
    return File("mixed.lyr", LYRBytes()
                                 .Header()
                                 .Group(2, "TPolygonPresenter").Record(P1).Record(P2)
                                 .Group(1, "TPolylinePresenter").Record(P3)
                                 .Int(0)
                                 .Group(2, "TGeoDataObject").Record(A).Record(B)
                                 .Group(1, "TTestDataObject").Record(C)
                                 .Group(1, "TGeoDataObject").Record(D)
                                 .Int(0)
                                 .Bytes());
  }

  Contents Expected(std::vector<TGlobePresenter*> Presenters, std::vector<TGlobeObject*> Objects) {
    Contents c;
    for (TGlobePresenter* p : Presenters) {
      c.presenters.push_back(std::string(p->ClassName()) + " " +
                             std::to_string(p->PresenterID()) + " " + p->Name());
    }
    for (TGlobeObject* o : Objects) c.objects.push_back(Describe(*o));
    return c;
  }

  static bool AnyLoaded(const TGlobeObjectSource& Source) {
    for (std::int32_t i = 0; i < Source.Count(); ++i) {
      if (Source.LoadedObject(i) != nullptr) return true;
    }
    return false;
  }
};

// ---- Header and layout ------------------------------------------------------------------

TEST_F(LYRTest, VersionsBelow0300AreRefusedWithTheFileName) {
  const auto body = [&](std::uint16_t version) {
    return LYRBytes().Header(version).Int(0).Group(1, "TGeoDataObject").Record(A).Int(0).Bytes();
  };
  struct Case {
    std::uint16_t version;
    const char* hex;  // null: accepted
  };
  for (const Case& c : {Case{0x02FF, "2FF"}, Case{0x0000, "0"}, Case{0x0300, nullptr},
                        Case{0x0405, nullptr}, Case{0xFFFF, nullptr}}) {
    SCOPED_TRACE(c.version);
    // Without a metadata file to write, which sets the current version again.
    auto reader =
        Reader(File("v" + std::to_string(c.version) + ".lyr", body(c.version)), smdDiscard);
    if (c.hex == nullptr) {
      reader->SetActive(true);
      ASSERT_TRUE(reader->Active());
      EXPECT_EQ(GlobeStreamVersion(), c.version);  // presenter records follow the file
      EXPECT_EQ(reader->Count(), 1);
      EXPECT_EQ(reader->GetObject(0).Title(), "Alpha");
    } else {
      EXPECT_EQ(ErrorOf([&] { reader->SetActive(true); }),
                std::string("Invalid File Version ") + c.hex + " in " + reader->FileName());
      EXPECT_FALSE(reader->Active());
    }
  }
}

TEST_F(LYRTest, LayoutVariantsReadAlike) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool presenters;
  };
  const Case cases[] = {
      {"no presenters: the header pass reads the first group once more",
       LYRBytes().Header().Group(2, "TGeoDataObject").Record(A).Record(B).Int(0).Bytes(), false},
      {"presenters ended by an explicit 0",
       LYRBytes().Header().Group(1, "TPolygonPresenter").Record(P1).Int(0)
           .Group(2, "TGeoDataObject").Record(A).Record(B).Int(0).Bytes(), true},
      {"presenters followed directly by the objects",
       LYRBytes().Header().Group(1, "TPolygonPresenter").Record(P1)
           .Group(2, "TGeoDataObject").Record(A).Record(B).Int(0).Bytes(), true},
      {"presenters ended by a negative count",
       LYRBytes().Header().Group(1, "TPolygonPresenter").Record(P1).Int(-7)
           .Group(2, "TGeoDataObject").Record(A).Record(B).Int(0).Bytes(), true},
      {"two groups of one class, spelled differently",
       LYRBytes().Header().Int(0).Group(1, "TGeoDataObject").Record(A)
           .Group(1, "tgeodataobject").Record(B).Int(0).Bytes(), false},
      {"no end mark: the data ends the objects",
       LYRBytes().Header().Int(0).Group(2, "TGeoDataObject").Record(A).Record(B).Bytes(), false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto reader = Open(File("layout" + std::to_string(n++) + ".lyr", c.bytes), smdDiscard);
    EXPECT_EQ(ContentsOf(*reader), Expected(c.presenters ? std::vector<TGlobePresenter*>{&P1}
                                                         : std::vector<TGlobePresenter*>{},
                                            {&A, &B}));
    EXPECT_THAT(reader->ClassNames(), ElementsAre("TGeoDataObject"));
  }
}

TEST_F(LYRTest, MixedClassesKeepTheirIndexes) {
  auto reader = Open(MixedFile(), smdDiscard);
  EXPECT_EQ(reader->Name(), "mixed.lyr");
  EXPECT_THAT(reader->ClassNames(), ElementsAre("TGeoDataObject", "TTestDataObject"));
  EXPECT_THAT(reader->ClassIndexes(), ElementsAre(0, 0, 1, 0));
  EXPECT_EQ(ContentsOf(*reader), Expected({&P1, &P2, &P3}, {&A, &B, &C, &D}));

  // Objects are read again from their positions once the cache lets them go.
  reader->UnloadObjects();
  EXPECT_FALSE(AnyLoaded(*reader));
  EXPECT_EQ(Describe(reader->GetObject(2)), Describe(C));
  EXPECT_EQ(Describe(reader->GetObject(0)), Describe(A));

  reader->SetActive(false);
  EXPECT_EQ(reader->Count(), 0);
  EXPECT_EQ(reader->Presenters().Count(), 0);
  EXPECT_EQ(reader->LYRStream(), nullptr);
}

TEST_F(LYRTest, MissingFilesAndMissingStreamsLeaveTheSourceClosed) {
  const std::string name = File("gone.lyr", LYRBytes().Header().Int(0).Int(0).Bytes());
  auto reader = Reader(name);
  std::filesystem::remove(name);
  reader->SetActive(true);
  EXPECT_FALSE(reader->Active());

  TGlobeLYRStreamReader streamless(&globe);
  streamless.SetActive(true);
  EXPECT_FALSE(streamless.Active());
}

TEST_F(LYRTest, AStreamReaderReadsAStreamItIsGiven) {
  const std::vector<std::uint8_t> bytes =
      LYRBytes().Header().Group(1, "TPolylinePresenter").Record(P3).Int(0)
          .Group(1, "TGeoDataObject").Record(B).Int(0).Bytes();
  TGlobeMemoryView stream(bytes);
  TGlobeLYRStreamReader reader(&globe);
  reader.SetLYRStream(&stream);
  reader.SetActive(true);
  ASSERT_TRUE(reader.Active());
  EXPECT_EQ(ContentsOf(reader), Expected({&P3}, {&B}));
  reader.SetActive(false);
  EXPECT_EQ(reader.LYRStream(), nullptr);
}

// ---- Bad files ------------------------------------------------------------------------------

TEST_F(LYRTest, BadFilesFailNamingTheFileAndLeaveNothingBehind) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {"empty file", {}, "Unable to create file mapping"},
      {"one byte", {0x05}, "Invalid File Version 5 in "},
      {"header cut short", {0x05, 0x04, 1, 0, 0, 0, 2}, "Truncated header in "},
      {"unknown presenter class", LYRBytes().Header().Group(1, "TNoSuchPresenter").Record(P1).Int(0).Bytes(),
       "Class TNoSuchPresenter not found in "},
      {"class that is neither presenter nor object",
       LYRBytes().Header().Group(1, "TGlobeLYRReader").Record(P1).Int(0).Bytes(),
       "TGlobeLYRReader is neither a presenter nor an object class in "},
      {"presenter count beyond the data",
       LYRBytes().Header().Group(0x7FFFFFFF, "TPolygonPresenter").Raw(std::vector<std::uint8_t>(10)).Bytes(),
       "Invalid presenter count 2147483647 in "},
      {"presenter record cut short", LYRBytes().Header().Group(1, "TPolygonPresenter").Cut(P1, 5).Bytes(),
       "Truncated presenter record 0 in "},
      {"object count beyond the data",
       LYRBytes().Header().Int(0).Group(0x7FFFFFFF, "TGeoDataObject").Raw(std::vector<std::uint8_t>(10)).Bytes(),
       "Invalid object count 2147483647 in "},
      {"negative object count", LYRBytes().Header().Int(0).Group(-3, "TGeoDataObject").Record(A).Bytes(),
       "Invalid object count -3 in "},
      {"object record cut short",
       LYRBytes().Header().Int(0).Group(2, "TGeoDataObject").Record(A).Cut(B, 3).Bytes(),
       "Truncated record 1 in "},
      {"group count cut short",
       LYRBytes().Header().Int(0).Group(1, "TGeoDataObject").Record(A).Raw({1, 0}).Bytes(),
       "Truncated group count in "},
      {"group without its class name", LYRBytes().Header().Int(0).Group(1, "TGeoDataObject").Record(A).Int(1).Bytes(),
       "Truncated group at offset "},
      {"class name cut short", LYRBytes().Header().Int(0).Int(1).Raw({14, 'T', 'G', 'e', 'o'}).Bytes(),
       "Truncated group at offset 22 in "},
      {"presenters among the objects",
       LYRBytes().Header().Int(0).Group(1, "TGeoDataObject").Record(A).Group(1, "TPolygonPresenter").Record(P1)
           .Int(0).Bytes(),
       "TPolygonPresenter is not an object class in "},
      {"unknown object class", LYRBytes().Header().Int(0).Group(1, "TNoSuchObject").Record(A).Int(0).Bytes(),
       "Class TNoSuchObject not found in "},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = File("bad" + std::to_string(n++) + ".lyr", c.bytes);
    auto reader = Reader(name);
    const std::string message = ErrorOf([&] { reader->SetActive(true); });
    EXPECT_THAT(message, StartsWith(c.message));
    EXPECT_THAT(message, HasSubstr(reader->FileName()));
    EXPECT_FALSE(reader->Active());
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(reader->Presenters().Count(), 0);
    EXPECT_EQ(reader->LYRStream(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(name + ".md"));
  }
}

TEST_F(LYRTest, OtherFilesRenamedLyrAreNoLayerFiles) {
  // A picture and a text under a layer file's name: their bytes pass the version check and
  // then stand where a class name should.
  const std::string data = ORVANE_TEST_DATA_DIR;
  for (const std::string& source :
       {data + "/lyr/red_8x4.png", data + "/texture/palette_10x5.bmp", data + "/mif/kinds.geojson"}) {
    SCOPED_TRACE(source);
    const std::string name = Scratch("renamed.lyr");
    std::filesystem::copy_file(source, name, std::filesystem::copy_options::overwrite_existing);
    auto reader = Reader(name);
    const std::string message = ErrorOf([&] { reader->SetActive(true); });
    EXPECT_THAT(message, StartsWith(reader->FileName() + " is not a layer file"));
    for (char c : message) EXPECT_TRUE(c >= ' ' && c <= '~') << "raw bytes in: " << message;
    EXPECT_FALSE(reader->Active());
  }
}

// ---- Metadata -----------------------------------------------------------------------------

TEST_F(LYRTest, ReopeningWithCurrentMetadataLoadsNoObject) {
  const std::string name = MixedFile();
  auto first = Open(name);
  ASSERT_TRUE(std::filesystem::exists(name + ".md"));
  EXPECT_TRUE(first->GetState(1).Contains(osClosed));
  const Contents contents = ContentsOf(*first);
  std::vector<TMER> mers;
  for (std::int32_t i = 0; i < first->Count(); ++i) mers.push_back(first->GetMER(i));
  first.reset();

  auto second = Open(name);
  EXPECT_EQ(second->Count(), 4);
  EXPECT_EQ(second->Presenters().Count(), 3);
  EXPECT_FALSE(AnyLoaded(*second));
  for (std::int32_t i = 0; i < second->Count(); ++i) {
    EXPECT_EQ(second->GetMER(i), mers[static_cast<std::size_t>(i)]) << i;
    EXPECT_TRUE(second->GetState(i).Contains(osValidMER)) << i;
    EXPECT_EQ(second->GetState(i).Contains(osClosed), i == 1) << i;
  }
  EXPECT_THAT(second->ClassNames(), ElementsAre("TGeoDataObject", "TTestDataObject"));
  EXPECT_THAT(second->ClassIndexes(), ElementsAre(0, 0, 1, 0));
  EXPECT_EQ(ContentsOf(*second), contents);
}

TEST_F(LYRTest, MissingOrStaleMetadataMapsTheFileAgainAndRewritesIt) {
  const std::string name = MixedFile();
  const std::string md = name + ".md";
  Open(name).reset();
  const std::vector<std::uint8_t> written = ReadBytes(md);

  struct Case {
    const char* name;
    std::function<void()> act;
  };
  const Case cases[] = {
      {"deleted", [&] { std::filesystem::remove(md); }},
      {"older than the data file",
       [&] {
         std::filesystem::last_write_time(
             md, std::filesystem::last_write_time(name) - std::chrono::hours(1));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    auto reader = Open(name);
    EXPECT_TRUE(AnyLoaded(*reader));  // mapping loads every object once
    ASSERT_TRUE(std::filesystem::exists(md));
    EXPECT_GE(std::filesystem::last_write_time(md), std::filesystem::last_write_time(name));
    EXPECT_EQ(ReadBytes(md), written);
  }
}

TEST_F(LYRTest, NoMetadataWithDiscardOrNoCache) {
  const std::string name = MixedFile();
  Open(name, smdDiscard).reset();
  EXPECT_FALSE(std::filesystem::exists(name + ".md"));

  auto reader = Reader(name);
  reader->SetNoCache(true);
  reader->SetActive(true);
  EXPECT_EQ(reader->Count(), 4);
  EXPECT_FALSE(std::filesystem::exists(name + ".md"));
}

TEST_F(LYRTest, AnUnwritableMetadataFolderDoesNotKeepTheLayerClosed) {
  const std::string name = MixedFile();
  globe.SetDataDirectory(Scratch("no such folder"));
  auto reader = Open(name, smdInDataDirectory);
  EXPECT_EQ(reader->Count(), 4);
  EXPECT_NO_THROW(reader->SaveMetaData());
  EXPECT_FALSE(std::filesystem::exists(Scratch("no such folder")));
}

TEST_F(LYRTest, CorruptMetadataIsReportedAndReplacedByMapping) {
  const std::string name = MixedFile();
  const std::string md = name + ".md";
  Open(name).reset();
  const std::vector<std::uint8_t> good = ReadBytes(md);
  const std::size_t size = good.size();
  const std::size_t items = 4;
  const std::size_t itemCountAt = size - 5 * items - 4;
  const std::string geo = "TGeoDataObject";
  const auto classNameAt = static_cast<std::size_t>(
      std::search(good.begin(), good.end(), geo.begin(), geo.end()) - good.begin());
  ASSERT_LT(classNameAt, size);
  const std::size_t classCountAt = classNameAt - 1 - 4;

  const auto patched = [&](std::size_t At, std::vector<std::uint8_t> Bytes) {
    std::vector<std::uint8_t> bytes = good;
    std::copy(Bytes.begin(), Bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(At));
    return bytes;
  };
  const auto cut = [&](std::size_t n) {
    return std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
  };
  const auto dataSize = static_cast<std::uint32_t>(std::filesystem::file_size(name));
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {"cut in the presenters", cut(10), "Corrupt metadata file "},
      {"cut in the items", cut(size - 3), "Corrupt metadata file "},
      {"presenter count beyond the data", patched(2, {0xFF, 0xFF, 0xFF, 0x7F}),
       "Corrupt metadata file "},
      {"class count beyond the data", patched(classCountAt, {0xFF, 0xFF, 0xFF, 0x7F}),
       "Invalid class count 2147483647"},
      {"unknown class", patched(classNameAt + geo.size() - 1, {'X'}),
       "Class TGeoDataObjecX not found"},
      {"class that is no object class", patched(classNameAt + geo.size() + 1,
                                                {'T', 'G', 'l', 'o', 'b', 'e', 'L', 'Y', 'R', 'R',
                                                 'e', 'a', 'd', 'e', 'r'}),
       "TGlobeLYRReader is not an object class"},
      {"item count not the object count", patched(itemCountAt, {3, 0, 0, 0}),
       "Item count 3 does not match object count 4"},
      {"class index beyond the classes", patched(size - 5, {2}), "Invalid class index 2 of item 3"},
      {"negative class index", patched(size - 5, {0x80}), "Invalid class index -128 of item 3"},
      {"position beyond the data",
       patched(size - 4, {static_cast<std::uint8_t>(dataSize), static_cast<std::uint8_t>(dataSize >> 8),
                          0, 0}),
       "Invalid position"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Asked for directly, loading reports the file and what is wrong, and leaves nothing.
    WriteBytes(md, c.bytes);
    {
      TMemoryMapStream data(name);
      TGlobeLYRStreamReader direct(&globe);
      direct.SetFileName(name);
      direct.SetLYRStream(&data);
      const std::string message = ErrorOf([&] { direct.LoadMetaData(); });
      EXPECT_THAT(message, HasSubstr(md));
      EXPECT_THAT(message, HasSubstr(c.message));
      EXPECT_EQ(direct.Count(), 0);
      EXPECT_EQ(direct.Presenters().Count(), 0);
    }
    // Opening reports the file as unusable, maps the data and writes a good one.
    WriteBytes(md, c.bytes);
    std::vector<std::string> errors;
    globe.OnProgress = [&](const void*, TProgressMessage Type, const std::string& Text, bool&) {
      if (Type == pmError) errors.push_back(Text);
    };
    auto reader = Open(name);
    globe.OnProgress = nullptr;
    EXPECT_THAT(errors, ElementsAre(AllOf(HasSubstr(md), HasSubstr(c.message))));
    EXPECT_EQ(ContentsOf(*reader), Expected({&P1, &P2, &P3}, {&A, &B, &C, &D}));
    EXPECT_EQ(ReadBytes(md), good);
  }
}

TEST_F(LYRTest, AForeignFileOfTheMetadataNameIsKeptAndTheLayerOpensWithoutAnIndex) {
  const std::string name = MixedFile();
  const std::string md = name + ".md";
  Open(name).reset();
  std::vector<std::uint8_t> wrongMark = ReadBytes(md);
  wrongMark[0] = 0x04;
  const std::string text = "# Layer notes\nKeep: the operator's own.\n";
  for (const std::vector<std::uint8_t>& foreign :
       {wrongMark, std::vector<std::uint8_t>(text.begin(), text.end())}) {
    SCOPED_TRACE(foreign.size());
    WriteBytes(md, foreign);
    std::vector<std::pair<TProgressMessage, std::string>> progress;
    globe.OnProgress = [&](const void*, TProgressMessage Kind, const std::string& Text, bool&) {
      if (Kind == pmMessage || Kind == pmError) progress.emplace_back(Kind, Text);
    };
    {
      TGlobeLYRStreamReader direct(&globe);
      direct.SetFileName(name);
      direct.LoadMetaData();
      EXPECT_EQ(direct.Count(), 0);
    }
    EXPECT_EQ(ReadBytes(md), foreign);
    auto reader = Open(name);
    EXPECT_TRUE(AnyLoaded(*reader));  // mapped: no index to load from
    EXPECT_EQ(reader->Count(), 4);
    EXPECT_EQ(ReadBytes(md), foreign);
    ASSERT_EQ(progress.size(), 2u);  // once for each opening
    EXPECT_EQ(progress[1].first, pmMessage);
    EXPECT_THAT(progress[1].second, HasSubstr(".lyr.md is not a metadata file"));
    globe.OnProgress = nullptr;
  }
}

// ---- Writing ------------------------------------------------------------------------------

/// The groups of a file as "count class", the sections separated by "|"; the records are
/// stepped over by reading them.
std::vector<std::string> GroupsOf(TGlobe4& Globe, const std::vector<std::uint8_t>& Bytes) {
  TGlobeMemoryView view(Bytes);
  TGlobeStreamReader r(view);
  EXPECT_EQ(r.ReadSmallInt(), 0x0405);
  // The records below are read in the layout of the file's version, as the reader does.
  SetGlobeStreamVersion(GLOBE_STREAM_VERSION_CURRENT);
  const TRect rect = r.ReadRect();
  EXPECT_EQ(rect.Left | rect.Top | rect.Right | rect.Bottom, 0);
  std::vector<std::string> groups;
  for (int section = 0; section < 2; ++section) {
    for (std::int32_t count = r.ReadInteger(); count != 0 && !r.Truncated();
         count = r.ReadInteger()) {
      const std::string name = r.ReadShortString();
      groups.push_back(std::to_string(count) + " " + name);
      for (std::int32_t i = 0; i < count; ++i) {
        if (section == 0) {
          CreateGlobeObject<TGlobePresenter>(name, &Globe, std::int32_t{0})->ReadProperties(r);
        } else {
          CreateGlobeObject<TGlobeObject>(name, static_cast<TGlobeObjectSource*>(nullptr))
              ->ReadProperties(r);
        }
      }
    }
    groups.emplace_back("|");
  }
  EXPECT_FALSE(r.Truncated());
  EXPECT_EQ(r.Remaining(), 0);
  return groups;
}

TEST_F(LYRTest, WriteLYRGroupsConsecutiveRecordsOfOneClass) {
  const std::string name = Scratch("written.lyr");
  const std::vector<TGlobePresenter*> presenters{&P1, &P2, &P3};
  const std::vector<TGlobeObject*> objects{&A, &B, &C, &D};
  WriteLYR(name, presenters, objects);

  EXPECT_THAT(GroupsOf(globe, ReadBytes(name)),
              ElementsAre("2 TPolygonPresenter", "1 TPolylinePresenter", "|",
                          "2 TGeoDataObject", "1 TTestDataObject", "1 TGeoDataObject", "|"));
  auto reader = Open(name);
  EXPECT_EQ(ContentsOf(*reader), Expected(presenters, objects));
}

TEST_F(LYRTest, WriteLYROfNothingIsTheHeaderAndTwoEndMarks) {
  const std::string name = Scratch("nothing.lyr");
  WriteLYR(name, std::vector<TGlobePresenter*>{}, std::vector<TGlobeObject*>{});
  std::vector<std::uint8_t> expected{0x05, 0x04};
  expected.resize(2 + 16 + 4 + 4, 0);
  EXPECT_EQ(ReadBytes(name), expected);
  auto reader = Open(name);
  EXPECT_EQ(reader->Count(), 0);
  EXPECT_EQ(reader->Presenters().Count(), 0);
}

TEST_F(LYRTest, WriteLYROfASourceLoadsEachObjectEvenOverItsOwnFile) {
  const std::string name = MixedFile();
  Open(name).reset();
  auto reader = Open(name);  // from metadata: nothing loaded yet
  ASSERT_FALSE(AnyLoaded(*reader));
  const std::string copy = Scratch("copy.lyr");
  WriteLYR(copy, *reader);
  // The file being read is replaced by a rename, so the mapped view stays valid.
  WriteLYR(name, *reader);
  reader->UnloadObjects();
  const Contents expected = Expected({&P1, &P2, &P3}, {&A, &B, &C, &D});
  EXPECT_EQ(ContentsOf(*reader), expected);
  EXPECT_EQ(ReadBytes(copy), ReadBytes(name));
  EXPECT_EQ(ContentsOf(*Open(copy, smdDiscard)), expected);
}

TEST_F(LYRTest, NamesOutsideAsciiAreMappedIndexedAndWritten) {
  // Made with the standard library's own UTF-8 paths, so that the reader's conversion of
  // the engine's UTF-8 names is checked against something independent.
  const std::filesystem::path folder = scratch / std::filesystem::path(u8"Lög");
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(platform::FsPath(MixedFile()),
                             folder / std::filesystem::path(u8"wörld.lyr"));
  const std::string name = Scratch("Lög/wörld.lyr");
  const Contents expected = Expected({&P1, &P2, &P3}, {&A, &B, &C, &D});
  {
    auto first = Open(name);
    EXPECT_EQ(first->Name(), "wörld.lyr");
    EXPECT_EQ(ContentsOf(*first), expected);
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / std::filesystem::path(u8"wörld.lyr.md")));
  auto second = Open(name);
  EXPECT_FALSE(AnyLoaded(*second));  // indexed from the metadata beside it
  const std::string copy = Scratch("Lög/köpie.lyr");
  WriteLYR(copy, *second);
  EXPECT_EQ(ContentsOf(*Open(copy, smdDiscard)), expected);
}

TEST_F(LYRTest, WriteLYRReportsAFileItCannotWrite) {
  const std::string name = Scratch("no such folder/x.lyr");
  EXPECT_EQ(ErrorOf([&] {
              WriteLYR(name, std::vector<TGlobePresenter*>{&P1}, std::vector<TGlobeObject*>{&A});
            }),
            "Unable to write file " + name);
}

TEST_F(LYRTest, ReadersAreCreatableByNameButNotListed) {
  for (const char* name : {"TGlobeLYRReader", "TGlobeLYRStreamReader"}) {
    std::unique_ptr<TGlobeObjectSource> source = CreateGlobeObject<TGlobeObjectSource>(name, &globe);
    EXPECT_EQ(source->ClassName(), name);
    for (const TGlobeClass* listed : GlobeClassList()) EXPECT_NE(listed->ClassName(), name);
  }
}

}  // namespace
}  // namespace globe::testing
