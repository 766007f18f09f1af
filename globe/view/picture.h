// A picture that tells its owner whenever it changes, so that the globe redraws when its
// background image is replaced or painted on.
#pragma once

#include <functional>
#include <utility>

#include "platform/device.h"

namespace globe {

class TGlobePicture {
 public:
  /// OnChange runs after every change.
  explicit TGlobePicture(std::function<void()> OnChange) : on_change_(std::move(OnChange)) {}
  TGlobePicture(const TGlobePicture&) = delete;
  TGlobePicture& operator=(const TGlobePicture&) = delete;

  /// The picture; 0 × 0 when there is none.
  [[nodiscard]] const platform::TBitmap& Bitmap() const noexcept { return bitmap_; }
  [[nodiscard]] bool Empty() const noexcept { return bitmap_.Empty(); }

  /// Copies Value in (null or empty: no picture), then tells the owner.
  void Assign(const platform::TBitmap* Value) {
    bitmap_ = Value != nullptr ? *Value : platform::TBitmap(0, 0);
    Changed();
  }
  /// Lets Change alter the picture in place (its pixels, or the whole bitmap by assigning
  /// to it), then tells the owner, also when Change fails part-way.
  template <class F>
  void Edit(F&& Change) {
    try {
      std::forward<F>(Change)(bitmap_);
    } catch (...) {
      Changed();
      throw;
    }
    Changed();
  }

 private:
  void Changed() {
    if (on_change_) on_change_();
  }

  platform::TBitmap bitmap_{0, 0};
  std::function<void()> on_change_;
};

}  // namespace globe
