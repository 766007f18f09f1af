#include "globe/view/customglobe.h"

#include <mutex>

#include "globe/core/texture.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/layer.h"
#include "globe/objects/object.h"
#include "globe/objects/presenter.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"

namespace globe {

void RegisterGlobeModules() {
  static std::once_flag once;
  std::call_once(once, [] {
    // In the order files expect the classes to be known; none depends on another's.
    RegisterGlobeObjects();
    RegisterGlobeAttributes();
    RegisterProjectionModels();
    RegisterGlobePresenters();
    RegisterGlobeLayers();
  });
}

TCustomGlobe4::TCustomGlobe4() {
  RegisterGlobeModules();
  // Records written or read from here on are in the current layouts, whether or not a
  // layer file (which sets its own version) has been read before.
  SetGlobeStreamVersion(GLOBE_STREAM_VERSION_CURRENT);
  AcquireDevicePoints();
  FGlobeCanvas = std::make_unique<TGlobeCanvas>(this);
  FProjection = std::make_unique<TGlobeProjection>(this);
  FBackgroundTextureMap = std::make_unique<TTextureData>();
  FSelectedPen = std::make_unique<TGlobePen>();
  FSelectedPen->Define(platform::RGB(0xFF, 0, 0), platform::psSolid, 1, TGlobeUnitTypes::Pixel);
  FSelectedBrush = std::make_unique<TGlobeBrush>();
  FSelectedBrush->Define(platform::RGB(0xFF, 0xFF, 0), bsSolid);
  FTransparentPen = std::make_unique<TGlobePen>();
  FTransparentPen->Define(platform::RGB(0x80, 0x80, 0x80), platform::psSolid, 1,
                          TGlobeUnitTypes::Pixel);
  FTransparentBrush = std::make_unique<TGlobeBrush>();
  FTransparentBrush->Define(platform::RGB(0xC0, 0xC0, 0xC0), bsSolid);
  for (TGlobeAttribute* a : {static_cast<TGlobeAttribute*>(FSelectedPen.get()),
                             static_cast<TGlobeAttribute*>(FSelectedBrush.get()),
                             static_cast<TGlobeAttribute*>(FTransparentPen.get()),
                             static_cast<TGlobeAttribute*>(FTransparentBrush.get())}) {
    a->OnChange = [this] { RedrawLayers(); };
  }
}

TCustomGlobe4::~TCustomGlobe4() {
  FSelectedPen.reset();
  FSelectedBrush.reset();
  FTransparentPen.reset();
  FTransparentBrush.reset();
  FGlobeCanvas.reset();
  FProjection.reset();
  FBackgroundTextureMap.reset();
  ReleaseDevicePoints();
}

void TCustomGlobe4::DoZoomed(const void* Sender) {
  if (OnZoomed && !FbLoading) OnZoomed(Sender);
}

void TCustomGlobe4::DoPanned(const void* Sender) {
  if (OnPanned && !FbLoading) OnPanned(Sender);
}

}  // namespace globe
