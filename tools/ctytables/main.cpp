// orvane-ctytables: makes the logger simulator's three reference tables (entities,
// provinces, individual callsigns) from a DXCC country file, as XML rowset files.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/xmlrowset.h"
#include "tools/ctytables/cty.h"

namespace {

constexpr std::string_view kUsage = R"(Usage: orvane-ctytables [--all-exact-calls] CTY.DAT OUTFOLDER

Writes OUTFOLDER/CountryDataEx.xml (entities), OUTFOLDER/Province.xml (regions and call
areas) and OUTFOLDER/UniqueCalls.xml (individual callsigns) from the country file CTY.DAT,
after checking that the entity patterns place every prefix of the file as the file does.

  --all-exact-calls   keep the exact callsigns that the prefix rows already place in
                      their own entity or region (left out by default)
)";

}  // namespace

int main(int argc, char** argv) {
  using namespace orvane::ctytables;
  std::vector<std::string> args(argv + 1, argv + argc);
  TBuildOptions options;
  if (!args.empty() && args.front() == "--all-exact-calls") {
    options.AllExactCalls = true;
    args.erase(args.begin());
  }
  if (args.size() != 2 || args[0].starts_with("-") || args[1].starts_with("-")) {
    std::fputs(kUsage.data(), stderr);
    return 2;
  }
  try {
    const std::vector<TCtyEntity> entities = ReadCtyFile(args[0]);
    const TReferenceTables tables = BuildTables(entities, DefaultCallAreas(), options);
    const std::vector<std::string> problems = CheckDxccTable(entities, tables.Dxcc);
    if (!problems.empty()) {
      for (const std::string& p : problems)
        std::fprintf(stderr, "orvane-ctytables: %s\n", p.c_str());
      std::fprintf(stderr, "orvane-ctytables: %zu callsigns placed wrongly; nothing written\n",
                   problems.size());
      return 1;
    }
    const std::filesystem::path folder(args[1]);
    std::filesystem::create_directories(folder);
    const struct {
      const char* Name;
      const TTable& Table;
    } outputs[] = {{"CountryDataEx.xml", tables.Dxcc},
                   {"Province.xml", tables.Province},
                   {"UniqueCalls.xml", tables.Unique}};
    for (const auto& out : outputs) {
      const std::string file = (folder / out.Name).string();
      platform::SaveXmlRowset(file, out.Table.Columns, out.Table.Rows);
      std::printf("%s: %zu rows\n", file.c_str(), out.Table.Rows.size());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane-ctytables: %s\n", e.what());
    return 1;
  }
  return 0;
}
