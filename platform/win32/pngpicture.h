// PNG files read into pictures on Windows, where no image plug-ins stand by as they do on
// Linux: libpng's simplified reader.
#pragma once

#include <memory>
#include <string>

#include "platform/device.h"

namespace platform {

/// The picture in the PNG file FileName (UTF-8), any colour type and depth, transparency
/// composed on black as the Linux loader's conversion to the 32-bit layout does. Null when
/// the file cannot be opened, is no PNG, is damaged, or would take more than
/// TBitmap::kMaxBytes.
[[nodiscard]] std::shared_ptr<TBitmap> LoadPngPicture(const std::string& FileName);

}  // namespace platform
