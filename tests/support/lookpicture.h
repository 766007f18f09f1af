// Pictures the drawing tests leave behind for a person to look at.
#pragma once

#include <string>

#include "platform/device.h"

namespace orvane::testing {

/// Writes Picture to FileName (a .png name) for a look: a PNG through Qt; on Windows, where
/// the tests run without Qt, a BMP under the same name with .bmp for its extension. A
/// picture that cannot be written is no test failure.
void SaveForALook(const platform::TBitmap& Picture, const std::string& FileName);

}  // namespace orvane::testing
