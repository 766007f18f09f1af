// Takes any bytes as the metadata file of a small valid LYR file and opens the file: a
// metadata file that does not fit must be set aside (the file is mapped again and the
// metadata rewritten), and the records it points at must load or fail cleanly.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "globe/objects/geodata.h"
#include "globe/objects/presenter.h"
#include "globe/readers/lyr.h"
#include "globe/view/globe.h"

namespace {

std::filesystem::path Folder() {
  static const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("orvane-lyr-metadata-fuzz-" + std::to_string(::getpid()));
  return folder;
}

void RemoveFolder() {
  std::error_code ec;
  std::filesystem::remove_all(Folder(), ec);
}

/// Two presenters and three objects of two classes, written once per process and dated an
/// hour back so that every metadata file written afterwards counts as current.
std::string MakeLayer(globe::TGlobe4& Globe) {
  using namespace globe;
  std::filesystem::create_directories(Folder());
  std::atexit(RemoveFolder);
  TGlobeObjectSource objects(&Globe);
  std::vector<TGlobeObject*> list;
  for (int i = 0; i < 3; ++i) {
    auto* obj = MakeGlobeObject<TGeoDataObject>(&objects);
    obj->SetTitle("object " + std::to_string(i));
    auto chain = std::make_unique<TPointStore>();
    chain->Add({i * 5'400'000, i * 1'000'000, 0});
    chain->Add({i * 5'400'000 + 90'000, -i * 1'000'000, 0});
    obj->Chains().Add(std::move(chain));
    list.push_back(obj);
  }
  TPolygonPresenter land(&Globe, 1);
  TPolylinePresenter rivers(&Globe, 2);
  std::vector<TGlobePresenter*> presenters{&land, &rivers};
  const std::string name = (Folder() / "layer.lyr").string();
  WriteLYR(name, presenters, list);
  std::filesystem::last_write_time(
      name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static globe::TGlobe4* const Globe = [] {
    auto* g = new globe::TGlobe4;  // lives as long as the process
    g->SetSaveMetaDataLocation(globe::smdWithDataFile);
    return g;
  }();
  static const std::string Layer = MakeLayer(*Globe);
  {
    std::ofstream md(Layer + ".md", std::ios::binary | std::ios::trunc);
    md.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  globe::TGlobeLYRReader reader(Globe);
  reader.SetFileName(Layer);
  try {
    reader.SetActive(true);
    for (std::int32_t i = 0; i < reader.Count(); ++i) {
      try {
        (void)reader.GetObject(i).GetObjectMER();
      } catch (const globe::EGlobeException&) {
      }
    }
    reader.SetActive(false);
  } catch (const globe::EGlobeException&) {
  }
  return 0;
}
