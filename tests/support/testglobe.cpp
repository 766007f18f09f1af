#include "tests/support/testglobe.h"

#include <algorithm>

namespace globe::testing {

TTestGlobe::TTestGlobe() {
  OnZoomed = [this](const void*) { Calls.push_back("OnZoomed"); };
  OnPanned = [this](const void*) { Calls.push_back("OnPanned"); };
}

TTestGlobe::~TTestGlobe() = default;

int TTestGlobe::CountOf(const std::string& Name) const {
  return static_cast<int>(std::count(Calls.begin(), Calls.end(), Name));
}

std::int32_t TTestGlobe::NextMRU() {
  Calls.push_back("NextMRU");
  return ++FCacheMRU;
}
void TTestGlobe::SetDataDirectory(const std::string& Value) {
  Calls.push_back("SetDataDirectory");
  FDataDirectory = Value;
}
void TTestGlobe::SetGlobeOptions(TGlobeOptionsSet Value) {
  Calls.push_back("SetGlobeOptions");
  FGlobeOptions = Value;
}
void TTestGlobe::SetGraticuleLongitudeStep(std::int32_t Value) {
  Calls.push_back("SetGraticuleLongitudeStep");
  FiLongitudeStep = Value;
}
void TTestGlobe::SetGraticuleLatitudeStep(std::int32_t Value) {
  Calls.push_back("SetGraticuleLatitudeStep");
  FiLatitudeStep = Value;
}
void TTestGlobe::SetMaxTextHeight(std::int32_t Value) {
  Calls.push_back("SetMaxTextHeight");
  FiMaxTextHeight = Value;
}
void TTestGlobe::SetMinTextHeight(std::int32_t Value) {
  Calls.push_back("SetMinTextHeight");
  FiMinTextHeight = Value;
}
void TTestGlobe::SetScrollBars(TScrollStyle Value) {
  Calls.push_back("SetScrollBars");
  FScrollBars = Value;
}
void TTestGlobe::SetViewRect(const TRect& Value) {
  Calls.push_back("SetViewRect");
  FViewRect = Value;
}
void TTestGlobe::Notify(TGlobeNotification, TGlobeRoot*) { Calls.push_back("Notify"); }
void TTestGlobe::RedrawLayers() {
  Calls.push_back("RedrawLayers");
  FbRedrawLayers = true;
}
std::string TTestGlobe::ResolveFilename(const std::string& sFilename) {
  Calls.push_back("ResolveFilename");
  return sFilename;
}
void TTestGlobe::UpdateScrollBars() { Calls.push_back("UpdateScrollBars"); }
void TTestGlobe::LocateToLL(std::int32_t iLong, std::int32_t iLat) {
  Calls.push_back("LocateToLL");
  LastLocate = {iLong, iLat, 0};
}
bool TTestGlobe::ProgressMessage(TProgressMessage, const std::string&) {
  Calls.push_back("ProgressMessage");
  return false;
}
std::int32_t TTestGlobe::UpdateTotalMemoryInUse() {
  Calls.push_back("UpdateTotalMemoryInUse");
  return FCacheMemoryUsed;
}
std::int32_t TTestGlobe::CacheUsedDelta(std::int32_t Delta) {
  Calls.push_back("CacheUsedDelta");
  return FCacheMemoryUsed += Delta;
}
std::int32_t TTestGlobe::ReduceCacheMemory(std::int32_t) {
  Calls.push_back("ReduceCacheMemory");
  return FCacheMemoryUsed;
}
void TTestGlobe::RenderToCanvas(platform::TCanvas&, const TRect&, bool) {
  Calls.push_back("RenderToCanvas");
}
void TTestGlobe::RenderPolygon(std::span<const TPointLL>) { Calls.push_back("RenderPolygon"); }
void TTestGlobe::RenderPolyLine(std::span<const TPointLL>) { Calls.push_back("RenderPolyLine"); }
void TTestGlobe::RenderTextOut(std::int32_t, std::int32_t, const std::string&, TGlobeUnitTypes) {
  Calls.push_back("RenderTextOut");
}
void TTestGlobe::RenderCircle(const TPointLL&, std::int32_t, std::int32_t) {
  Calls.push_back("RenderCircle");
}
void TTestGlobe::RenderLine(const TPointLL& ptFromLL, const TPointLL& ptToLL,
                            std::int32_t iSteps) {
  Calls.push_back("RenderLine");
  Lines.push_back({ptFromLL, ptToLL, iSteps});
}
void TTestGlobe::RenderGreatCircleLine(const TPointLL&, const TPointLL&, TGreatCircle) {
  Calls.push_back("RenderGreatCircleLine");
}

}  // namespace globe::testing
