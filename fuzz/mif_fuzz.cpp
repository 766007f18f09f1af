// Reads any bytes as a MIF/MID pair: the bytes up to the first NUL are the MIF file, the rest
// (when there is a NUL) the MID file. Opens the pair (the header and the mapping pass that
// loads every object once with its clauses), loads every object again from its offsets, and
// closes it. A bad file must end in EGlobeException, never in a crash, a hang or an
// allocation its size cannot justify.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "globe/readers/mif.h"
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
  static globe::TGlobe4* const Globe = [] {
    auto* g = new globe::TGlobe4;  // lives as long as the process
    g->SetSaveMetaDataLocation(globe::smdDiscard);
    return g;
  }();
  static const TScratchFolder Scratch("orvane-mif-fuzz-");
  const std::filesystem::path& Dir = Scratch.Path;
  const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t mifSize = nul != nullptr ? static_cast<std::size_t>(nul - data) : size;
  WriteFile(Dir / "input.mif", data, mifSize);
  std::error_code ec;
  if (nul != nullptr) {
    WriteFile(Dir / "input.mid", nul + 1, size - mifSize - 1);
  } else {
    std::filesystem::remove(Dir / "input.mid", ec);
  }

  globe::TGlobeMIFReader reader(Globe);
  reader.SetFileName((Dir / "input.mif").string());
  try {
    reader.SetActive(true);
    for (std::int32_t i = 0; i < reader.Count(); ++i) (void)reader.GetObject(i).GetObjectMER();
    reader.UnloadObjects();
    for (std::int32_t i = 0; i < reader.Count(); ++i) (void)reader.GetObject(i).Title();
    reader.SetActive(false);
  } catch (const globe::EGlobeException&) {
  }
  return 0;
}
