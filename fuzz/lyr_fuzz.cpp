// Reads any bytes as a LYR stream: opens it (the header, the presenters and the mapping pass
// that loads every object once), loads every object again from its recorded position, and
// closes it. A bad file must end in EGlobeException, never in a crash, a hang or an
// allocation its size cannot justify.
#include <cstddef>
#include <cstdint>
#include <span>

#include "globe/formats/stream.h"
#include "globe/readers/lyr.h"
#include "globe/view/globe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One globe for the whole run: making one per input would dominate the time.
  static globe::TGlobe4* const Globe = [] {
    auto* g = new globe::TGlobe4;  // lives as long as the process
    g->SetSaveMetaDataLocation(globe::smdDiscard);
    return g;
  }();
  globe::TGlobeMemoryView stream(std::span<const std::uint8_t>(data, size));
  globe::TGlobeLYRStreamReader reader(Globe);
  reader.SetLYRStream(&stream);
  try {
    reader.SetActive(true);
    for (std::int32_t i = 0; i < reader.Count(); ++i) {
      try {
        (void)reader.GetObject(i).GetObjectMER();
      } catch (const globe::EGlobeException&) {
      }
    }
    reader.UnloadObjects();
    for (std::int32_t i = 0; i < reader.Count(); ++i) (void)reader.GetObject(i);
    reader.SetActive(false);
  } catch (const globe::EGlobeException&) {
  }
  return 0;
}
