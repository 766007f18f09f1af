#include "globe/render/pointbuffer.h"

#include <algorithm>
#include <memory>

namespace globe {

namespace detail {
TPoint* gDevicePoints = nullptr;
TPoint* gClipPoints = nullptr;
std::size_t gDevicePointCapacity = 0;
}  // namespace detail

namespace {

int gGlobeCount = 0;
std::unique_ptr<TPoint[]> gPoints;
std::unique_ptr<TPoint[]> gClip;

void Publish(std::size_t Capacity) {
  detail::gDevicePoints = gPoints.get();
  detail::gClipPoints = gClip.get();
  detail::gDevicePointCapacity = Capacity;
}

}  // namespace

void AcquireDevicePoints() {
  if (gGlobeCount++ > 0) return;
  gPoints = std::make_unique<TPoint[]>(DEVICE_POINT_BUFFER_POINTS);
  gClip = std::make_unique<TPoint[]>(DEVICE_POINT_BUFFER_POINTS);
  Publish(DEVICE_POINT_BUFFER_POINTS);
}

void ReleaseDevicePoints() noexcept {
  if (gGlobeCount == 0 || --gGlobeCount > 0) return;
  gPoints.reset();
  gClip.reset();
  Publish(0);
}

void detail::GrowDevicePoints(std::size_t Count) {
  // Geometric growth: a long chain grows the buffers a few times, not once per call.
  const std::size_t capacity = std::max(Count, gDevicePointCapacity + gDevicePointCapacity / 2);
  auto points = std::make_unique<TPoint[]>(capacity);
  auto clip = std::make_unique<TPoint[]>(capacity);
  std::copy_n(gPoints.get(), gDevicePointCapacity, points.get());
  std::copy_n(gClip.get(), gDevicePointCapacity, clip.get());
  gPoints = std::move(points);
  gClip = std::move(clip);
  Publish(capacity);
}

}  // namespace globe
