// Reads any bytes as an XML rowset file: every row, every column, and each row looked up
// again through a filter on its first column. A bad file must end in std::runtime_error,
// never in a crash, and the values read back can only come from the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/qt/xmlrowset.h"

namespace {

// A folder of this process for the input files, removed again when the process ends.
struct TScratchFolder {
  explicit TScratchFolder(const std::string& Name)
      : Path(std::filesystem::temp_directory_path() / (Name + std::to_string(::getpid()))) {
    std::filesystem::create_directories(Path);
  }
  ~TScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::filesystem::path Path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TScratchFolder Scratch("orvane-rowset-fuzz-");
  const std::filesystem::path File = Scratch.Path / "input.xml";
  {
    std::ofstream out(File, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    const auto set = platform::LoadXmlRowset(File.string());
    std::size_t text = 0;
    std::size_t rows = 0;
    for (set->First(); !set->Eof(); set->Next(), ++rows)
      for (std::size_t i = 0; i < set->FieldCount(); ++i) text += set->Fields(i).size();
    // Every value is text of the file: no entity can enlarge it.
    if (text > size || rows != set->RecordCount()) __builtin_trap();
    const std::string column = set->ColumnNames().front();
    for (std::size_t r = 0; r < rows && r < 64; ++r) {
      set->SetFilter("");
      set->First();
      for (std::size_t k = 0; k < r; ++k) set->Next();
      const std::string value = set->Fields(0);
      set->SetFilter(platform::FilterEquals("[" + column + "]", value));
      if (set->Eof() || set->Fields(0) != value) __builtin_trap();
    }
  } catch (const std::runtime_error&) {
  }
  return 0;
}
