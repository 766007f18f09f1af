// The device point buffers shared by every globe of the process: projection models write
// projected points into the first, the canvas clips (using the second as scratch) and draws
// from it.
//
// Both start with room for 131,073 points when the first globe is made and are released
// with the last. A drawing call that needs more room grows both (contents kept) before it
// writes, so a chain of any length is drawn whole; growing moves the buffers, so code
// re-reads DevicePoints() after EnsureDevicePoints.
#pragma once

#include <cstddef>

#include "globe/core/types.h"

namespace globe {

inline constexpr std::size_t DEVICE_POINT_BUFFER_POINTS = 131'073;

namespace detail {
extern TPoint* gDevicePoints;
extern TPoint* gClipPoints;
extern std::size_t gDevicePointCapacity;
void GrowDevicePoints(std::size_t Count);
}  // namespace detail

/// Counts a globe in; the first allocates the buffers, zero-filled.
void AcquireDevicePoints();
/// Counts a globe out; the last frees the buffers.
void ReleaseDevicePoints() noexcept;

/// The device point buffer; null while no globe exists.
[[nodiscard]] inline TPoint* DevicePoints() noexcept { return detail::gDevicePoints; }
/// The clip scratch buffer, of the same capacity.
[[nodiscard]] inline TPoint* ClipPoints() noexcept { return detail::gClipPoints; }
[[nodiscard]] inline std::size_t DevicePointCapacity() noexcept {
  return detail::gDevicePointCapacity;
}
/// Makes both buffers hold at least Count points, keeping their contents. Needs a globe.
inline void EnsureDevicePoints(std::size_t Count) {
  if (Count > detail::gDevicePointCapacity) detail::GrowDevicePoints(Count);
}

}  // namespace globe
