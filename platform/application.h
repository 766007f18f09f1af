// Process-wide state of the running application that the engine consults while it works,
// such as a long paint that should stop once the program is on its way out.
#pragma once

#include <atomic>

namespace platform {

namespace detail {
inline std::atomic<bool> gApplicationTerminated{false};
}  // namespace detail

/// True once the application has begun to shut down; long-running drawing stops early.
[[nodiscard]] inline bool ApplicationTerminated() noexcept {
  return detail::gApplicationTerminated.load(std::memory_order_relaxed);
}

/// Set by the host when the application starts shutting down (and by tests).
inline void SetApplicationTerminated(bool Value) noexcept {
  detail::gApplicationTerminated.store(Value, std::memory_order_relaxed);
}

}  // namespace platform
