#include "globe/readers/loader.h"

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "globe/core/text.h"
#include "globe/objects/layer.h"
#include "globe/objects/source.h"
#include "globe/readers/lyr.h"
#include "globe/readers/mif.h"
#include "globe/readers/shp.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

// The engine below cannot name the readers, yet environment documents and files name them
// as object source classes: they are registered when the program starts, before any globe
// is made. The library is linked whole so that this runs in every program that links it.
[[maybe_unused]] const bool kReadersRegistered = [] {
  RegisterLYRReaders();
  RegisterSHPReader();
  RegisterMIFReader();
  return true;
}();

// The extension of the name's last component, dot included; "" when it has none.
std::string_view Extension(std::string_view Name) noexcept {
  const std::size_t dot = Name.find_last_of('.');
  const std::size_t sep = Name.find_last_of("/\\");
  if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep)) return {};
  return Name.substr(dot);
}

}  // namespace

std::int32_t AddLayerFromFile(TGlobe4& Globe, const std::string& FileName) {
  const std::string resolved = Globe.ResolveFilename(FileName);
  std::error_code ec;
  if (resolved.empty() || !std::filesystem::is_regular_file(platform::FsPath(resolved), ec)) {
    return -1;
  }

  // The globe's store owns the layer from its creation on.
  TGlobeLayer* layer = std::make_unique<TGlobeLayer>(&Globe).release();

  const std::string_view extension = Extension(FileName);
  std::unique_ptr<TGlobeFileReader> reader;
  if (SameTextAscii(extension, ".lyr")) reader = std::make_unique<TGlobeLYRReader>(&Globe);
  if (SameTextAscii(extension, ".shp")) reader = std::make_unique<TGlobeSHPReader>(&Globe);
  if (SameTextAscii(extension, ".mif")) reader = std::make_unique<TGlobeMIFReader>(&Globe);
  if (reader != nullptr) {
    reader->SetFileName(FileName);
    layer->SetObjects(reader.release());  // the layer's subscription holds it now
  }
  layer->Objects().SetActive(true);
  return layer->Index();
}

}  // namespace globe
