// Record sets from XML rowset files: loading, filtering, walking, the closed state, and the
// writer's round trip.
#include "platform/qt/xmlrowset.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {
namespace {

const std::string kCountries = std::string(ORVANE_TEST_DATA_DIR) + "/rowset/countries.xml";

class XmlRowsetFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Folder = std::filesystem::temp_directory_path() /
             ("orvane-rowset-" + std::to_string(::getpid()) + "-" + info->name());
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::string Write(const std::string& Name, const std::string& Content) const {
    const std::string file = (Folder / Name).string();
    std::ofstream(file, std::ios::binary) << Content;
    return file;
  }
  std::string Path(const std::string& Name) const { return (Folder / Name).string(); }

  std::filesystem::path Folder;
};

/// The values of one column down the filtered view, from the first row.
std::vector<std::string> Column(TRecordSet& Set, const std::string& Name) {
  std::vector<std::string> values;
  for (Set.First(); !Set.Eof(); Set.Next()) values.push_back(Set.FieldByName(Name));
  return values;
}

using Strings = std::vector<std::string>;

TEST(XmlRowset, LoadsColumnsFromTheSchemaAndRowsFromTheData) {
  const auto set = LoadXmlRowset(kCountries);
  ASSERT_TRUE(set->Active());
  // rs:name gives the column its name; the row attribute keeps the schema's name.
  EXPECT_EQ(set->ColumnNames(), (Strings{"ID", "Country Name", "PrefixList", "Status", "EndDate",
                                         "Longitude", "Latitude"}));
  EXPECT_EQ(set->FieldCount(), 7u);
  // Inserted and updated rows count; old values and deleted rows do not.
  EXPECT_EQ(set->RecordCount(), 5u);
  EXPECT_EQ(Column(*set, "ID"), (Strings{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(Column(*set, "Country Name"),
            (Strings{"Germany", "Saar", "C\u00f4te d'Ivoire", "Japan", "Canada"}));
  EXPECT_EQ(Column(*set, "EndDate"), (Strings{"", "31.03.57", "", "", ""}));
  EXPECT_EQ(Column(*set, "PrefixList")[0], "^(D[A-R])[0-9A-Z/]*$");

  set->First();
  EXPECT_EQ(set->Fields(0), "1");
  EXPECT_EQ(set->Fields(6), "51.0N");
  EXPECT_EQ(set->FieldByName("latitude"), "51.0N") << "column names ignore letter case";
  EXPECT_EQ(set->FieldIndex("COUNTRY NAME"), 1u);
  EXPECT_THROW((void)set->Fields(7), EDatabaseError);
  try {
    (void)set->FieldByName("Lat");
    ADD_FAILURE() << "no error for an unknown column";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'Lat' not found");
  }
}

TEST(XmlRowset, FilterSelectsRowsByExactText) {
  const auto set = LoadXmlRowset(kCountries);
  const struct {
    const char* Filter;
    Strings Ids;
  } cases[] = {
      {"", {"1", "2", "3", "4", "5"}},
      {"Status = 'Active'", {"1", "3", "4", "5"}},
      {"  Status='Deleted'  ", {"2"}},
      {"status = 'active'", {}},  // the column name ignores case, the value does not
      {"[Country Name] = 'Japan'", {"4"}},
      {"Country Name = 'C\u00f4te d''Ivoire'", {"3"}},  // '' is one quote
      {"EndDate = ''", {"1", "3", "4", "5"}},           // a missing value is empty
      {"Status = 'Active '", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Filter);
    set->SetFilter(c.Filter);
    EXPECT_EQ(set->Filter(), c.Filter);
    EXPECT_EQ(set->RecordCount(), c.Ids.size());
    EXPECT_EQ(Column(*set, "ID"), c.Ids);
  }
  set->SetFilter(FilterEquals("Country Name", "C\u00f4te d'Ivoire"));
  EXPECT_EQ(Column(*set, "ID"), Strings{"3"});
  set->SetFilter(set->Filter());  // its own text
  EXPECT_EQ(set->Filter(), "Country Name = 'C\u00f4te d''Ivoire'");
  EXPECT_EQ(Column(*set, "ID"), Strings{"3"});
}

TEST(XmlRowset, FilterWithAStrayQuoteIsAnErrorAndKeepsThePreviousFilter) {
  const auto set = LoadXmlRowset(kCountries);
  set->SetFilter("Status = 'Active'");
  const char* const bad[] = {
      "Status = Active",    "Status = 'Active",   "Status = 'O'Brien'",
      "Status 'Active'",    "= 'Active'",         "Status = 'Active' OR ID = '2'",
      "Status == 'Active'", "Status = ''Active'",
  };
  for (const char* filter : bad) {
    SCOPED_TRACE(filter);
    EXPECT_THROW(set->SetFilter(filter), EDatabaseError);
    EXPECT_EQ(set->Filter(), "Status = 'Active'");
    EXPECT_EQ(set->RecordCount(), 4u);
  }
  EXPECT_THROW(set->SetFilter("Nothing = 'x'"), EDatabaseError);
  // Escaped, a quote is just a character of the value.
  set->SetFilter(FilterEquals("Status", "O'Brien"));
  EXPECT_EQ(set->Filter(), "Status = 'O''Brien'");
  EXPECT_TRUE(set->Eof());
}

TEST(XmlRowset, WalkingStopsOnTheLastRowAndAnEmptyViewReadsEmpty) {
  const auto set = LoadXmlRowset(kCountries);
  set->SetFilter("Status = 'Deleted'");
  EXPECT_FALSE(set->Eof());
  set->Next();
  EXPECT_TRUE(set->Eof());
  EXPECT_EQ(set->FieldByName("ID"), "2") << "past the end the last row stays current";
  set->Next();
  EXPECT_TRUE(set->Eof());
  set->First();
  EXPECT_FALSE(set->Eof());

  set->SetFilter("ID = '99'");
  EXPECT_TRUE(set->Eof());
  EXPECT_EQ(set->RecordCount(), 0u);
  EXPECT_EQ(set->Fields(0), "");
  EXPECT_EQ(set->FieldByName("Latitude"), "");
  EXPECT_THROW((void)set->FieldByName("Nothing"), EDatabaseError);
}

TEST(XmlRowset, AClosedSetRefusesEveryReadAndMove) {
  TMemoryRecordSet never;  // a table that was never loaded
  const auto loaded = LoadXmlRowset(kCountries);
  loaded->SetFilter("Status = 'Active'");
  loaded->Close();
  for (TRecordSet* set :
       {static_cast<TRecordSet*>(&never), static_cast<TRecordSet*>(loaded.get())}) {
    EXPECT_FALSE(set->Active());
    const std::function<void()> operations[] = {
        [&] { set->SetFilter("ID = '1'"); },
        [&] { set->First(); },
        [&] { set->Next(); },
        [&] { (void)set->Eof(); },
        [&] { (void)set->RecordCount(); },
        [&] { (void)set->FieldCount(); },
        [&] { (void)set->Fields(0); },
        [&] { (void)set->FieldByName("ID"); },
        [&] { (void)set->FieldIndex("ID"); },
    };
    for (const auto& operation : operations) {
      try {
        operation();
        ADD_FAILURE() << "no error on a closed set";
      } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Cannot perform this operation on a closed dataset");
      }
    }
  }
  loaded->Open();  // the filter survives closing
  EXPECT_EQ(loaded->RecordCount(), 4u);
  EXPECT_EQ(loaded->FieldByName("ID"), "1");
}

// A file larger than any reference table is refused before a byte of it is held.
TEST(XmlRowset, AFileBeyondTheSizeCapIsRefusedByName) {
  const auto Size = static_cast<std::int64_t>(std::filesystem::file_size(kCountries));
  EXPECT_NO_THROW((void)LoadXmlRowset(kCountries, Size));
  try {
    (void)LoadXmlRowset(kCountries, Size - 1);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& E) {
    const std::string Why = E.what();
    EXPECT_NE(Why.find(kCountries), std::string::npos) << Why;
    EXPECT_NE(Why.find("bytes a reference table may have"), std::string::npos) << Why;
  }
}

TEST(XmlRowset, RowsAddedWhileClosedJoinTheFilterOnOpening) {
  TMemoryRecordSet set({"ID", "Call"}, {{"1", "B"}, {"2", "A"}, {"3", "B"}});
  set.SetFilter("Call = 'B'");
  EXPECT_EQ(Column(set, "ID"), (Strings{"1", "3"}));
  set.Close();
  set.AppendRow({{0, "4"}, {1, "B"}});
  set.AppendRow({{0, "5"}});
  set.Open();
  EXPECT_EQ(Column(set, "ID"), (Strings{"1", "3", "4"}));
  set.SetFilter("Call = ''");
  EXPECT_EQ(Column(set, "ID"), Strings{"5"});
}

TEST_F(XmlRowsetFiles, SaveAndLoadGiveBackColumnsAndValues) {
  const Strings odd = {"Callsign", "Start Date", "xmlns", "1st", "Callsign", "a:b"};
  const struct {
    const char* Name;
    Strings Columns;
  } cases[] = {
      {"plain names", {"ID", "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"}},
      {"names that cannot be attributes, or repeat", odd},
  };
  const std::vector<Strings> rows = {
      {"1", "DL1ABC", "01.01.20", "", "10.5E", "51.25N"},
      {"2", "O'BRIEN \"Q\" <&>", "\t tab\nline\r\n", "  ", "\u00c5\u00e9\u4e16\U0001F600"},
      {"3"},  // shorter than the columns: the rest is NULL
      {},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("orvane-rowset-" + std::to_string(::getpid()) + ".xml"))
                                 .string();
    SaveXmlRowset(file, c.Columns, rows);
    const auto set = LoadXmlRowset(file);
    std::filesystem::remove(file);
    EXPECT_EQ(set->ColumnNames(), c.Columns);
    ASSERT_EQ(set->RecordCount(), rows.size());
    set->First();
    for (const auto& row : rows) {
      for (std::size_t i = 0; i < c.Columns.size(); ++i)
        EXPECT_EQ(set->Fields(i), i < row.size() ? row[i] : "") << "column " << i;
      set->Next();
    }
    EXPECT_TRUE(set->Eof());
  }
}

TEST_F(XmlRowsetFiles, SaveRefusesWhatItCannotWrite) {
  const Strings columns = {"A", "B"};
  const std::vector<std::vector<Strings>> badRows = {
      {{"1", "2", "3"}},  // more values than columns
      {{"\xC3("}},        // not UTF-8
      {{"bell\a"}},       // XML cannot carry it
      {{std::string("nul\0", 4)}},
  };
  for (const auto& rows : badRows)
    EXPECT_THROW(SaveXmlRowset(Path("bad.xml"), columns, rows), std::invalid_argument);
  EXPECT_THROW(SaveXmlRowset(Path("bad.xml"), {"A", ""}, {}), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(Path("bad.xml")));

  const std::string missing = Path("no/such/folder/t.xml");
  try {
    SaveXmlRowset(missing, columns, {});
    ADD_FAILURE() << "no error for an unwritable file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
}

TEST_F(XmlRowsetFiles, SaveReplacesAnExistingFileWhole) {
  const std::string file = Path("t.xml");
  SaveXmlRowset(file, {"A"}, {{"1"}, {"2"}});
  SaveXmlRowset(file, {"B"}, {{"3"}});
  const auto set = LoadXmlRowset(file);
  EXPECT_EQ(set->ColumnNames(), Strings{"B"});
  EXPECT_EQ(Column(*set, "B"), Strings{"3"});
}

TEST_F(XmlRowsetFiles, LoadErrorsNameTheFile) {
  const std::string head =
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
      "xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>";
  const std::string schema =
      "<s:Schema id='RowsetSchema'><s:ElementType name='row'>"
      "<s:AttributeType name='A'/></s:ElementType></s:Schema>";
  const struct {
    const char* Name;
    std::string Content;
    const char* Message;
  } cases[] = {
      {"empty", "", "not a valid XML file"},
      {"text", "Callsign;Latitude\nDL1ABC;51N\n", "not a valid XML file"},
      {"truncated", head + schema + "<rs:data><z:row A='1'/>", "not a valid XML file"},
      {"binary", std::string("\x00\x01\xff\xfe<xml>", 9), "not a valid XML file"},
      {"undeclared prefix", "<xml><s:Schema/></xml>", "not a valid XML file"},
      {"no schema", head + "</xml>", "no schema with columns"},
      {"no columns", head + "<s:Schema><s:ElementType name='row'/></s:Schema></xml>",
       "no schema with columns"},
      {"rows first", head + "<rs:data><z:row A='1'/></rs:data>" + schema + "</xml>",
       "rows before a schema"},
      {"nameless column",
       head + "<s:Schema><s:ElementType><s:AttributeType rs:name='A'/></s:ElementType>"
              "</s:Schema></xml>",
       "a column without a name"},
      {"column twice",
       head + "<s:Schema><s:ElementType><s:AttributeType name='A'/><s:AttributeType "
              "name='A'/></s:ElementType></s:Schema></xml>",
       "column 'A' defined twice"},
      {"two schemas", head + schema + schema + "</xml>", "more than one schema"},
      {"entity bomb",
       "<!DOCTYPE xml [<!ENTITY a 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'>"
       "<!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>"
       "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'>"
       "<!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'>"
       "<!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;'>]>" +
           head + schema + "<rs:data><z:row A='&e;&e;&e;&e;&e;&e;&e;&e;&e;'/></rs:data></xml>",
       "a document type declaration is not allowed"},
      {"undeclared entity", head + schema + "<rs:data><z:row A='&e;'/></rs:data></xml>",
       "not a valid XML file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Write(std::string(c.Name) + ".xml", c.Content);
    try {
      (void)LoadXmlRowset(file);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("Rowset file '" + file + "': ", 0), 0u) << message;
      EXPECT_NE(message.find(c.Message), std::string::npos) << message;
    }
  }
  EXPECT_THROW((void)LoadXmlRowset(Path("missing.xml")), std::runtime_error);
}

TEST_F(XmlRowsetFiles, LoadSkipsWhatIsNotARowOfTheSchema) {
  const std::string file =
      Write("extra.xml",
            "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
            "xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
            "<s:Schema><s:ElementType name='row'><s:AttributeType name='A'/></s:ElementType>"
            "<s:ElementType name='child'><s:AttributeType name='X'/></s:ElementType></s:Schema>"
            "<z:row A='outside'/>"
            "<rs:data><z:row A='1' B='unknown' rs:forcenull='A'><z:row A='nested'/></z:row>"
            "<other/><z:row/></rs:data></xml>");
  const auto set = LoadXmlRowset(file);
  EXPECT_EQ(set->ColumnNames(), Strings{"A"});
  EXPECT_EQ(Column(*set, "A"), (Strings{"1", ""}));
}

}  // namespace
}  // namespace platform
