// Reads any bytes as a shapefile with its dBase table: a little-endian Integer n, then n bytes
// of shapefile, then the table (none when nothing follows). Opens the shapefile (the header
// and the mapping pass that loads every record once, which writes the metadata file), loads
// every object again from its recorded position, closes it, and opens it once more from the
// metadata file. A bad file must end in EGlobeException, never in a crash, a hang or an
// allocation its size cannot justify.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "globe/readers/shp.h"
#include "globe/view/globe.h"

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

void WriteFile(const std::filesystem::path& File, const std::uint8_t* Data, std::size_t Size) {
  std::ofstream out(File, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One globe and one folder for the whole run: making them per input would dominate.
  static globe::TGlobe4* const Globe = [] {
    auto* g = new globe::TGlobe4;  // lives as long as the process
    g->SetSaveMetaDataLocation(globe::smdWithDataFile);
    return g;
  }();
  static const TScratchFolder Scratch("orvane-shp-fuzz-");
  const std::filesystem::path shp = Scratch.Path / "input.shp";
  const std::filesystem::path dbf = Scratch.Path / "input.dbf";
  std::error_code ec;
  std::filesystem::remove(Scratch.Path / "input.shp.md", ec);

  std::uint32_t n = 0;
  for (std::size_t i = 0; i < 4 && i < size; ++i) n |= std::uint32_t{data[i]} << (8 * i);
  const std::size_t head = size < 4 ? size : 4;
  const std::size_t shpSize = std::min<std::size_t>(n, size - head);
  WriteFile(shp, data + head, shpSize);
  if (head + shpSize < size) {
    WriteFile(dbf, data + head + shpSize, size - head - shpSize);
  } else {
    std::filesystem::remove(dbf, ec);
  }

  for (int pass = 0; pass < 2; ++pass) {
    globe::TGlobeSHPReader reader(Globe);
    reader.SetTitleColumn(pass);
    reader.SetFileName(shp.string());
    try {
      reader.SetActive(true);
      for (std::int32_t i = 0; i < reader.Count(); ++i) {
        (void)reader.GetObject(i).GetObjectMER();
      }
      reader.UnloadObjects();
      for (std::int32_t i = 0; i < reader.Count(); ++i) (void)reader.GetObject(i).Title();
      reader.SetActive(false);
    } catch (const globe::EGlobeException&) {
    }
  }
  return 0;
}
