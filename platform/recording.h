// A device that draws nothing and records every call with its arguments and the state it
// would have drawn with, for tests of the code that draws. Fonts have fixed metrics: every
// character is max(1, height / 2) pixels wide and the font's height high.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"

namespace platform {

struct TRecordedCall {
  /// "SelectObject", "SetBkMode", "SetBkColor", "SetTextColor", "SetTextAlign",
  /// "SetViewportOrigin", "SetClipRect", "RemoveClipping", "Polygon", "Polyline", "Ellipse",
  /// "Rectangle", "FillRect", "SetPixel", "TextOut", "DrawBitmap", "StretchBitmap",
  /// "DrawFocusRect".
  /// TextExtent is a query and is not recorded.
  std::string Name;
  /// Polygon/polyline points; (X, Y) of SetPixel, TextOut, DrawBitmap; the origin of
  /// SetViewportOrigin; the picture's width and height for StretchBitmap.
  std::vector<TPoint> Points;
  /// Rectangle arguments; the rectangle a DrawBitmap covers.
  TRect Rect;
  std::string Text;        ///< TextOut text
  std::int32_t Value = 0;  ///< colour, mode or flags of state calls and SetPixel
  THandle Object;          ///< SelectObject's object; FillRect's brush
  // The device state once the call is made (for drawing calls: what it draws with).
  THandle Pen, Brush, Font;
  TBkMode BkMode = OPAQUE;
  TColor BkColor = 0;
  TColor TextColor = 0;
  std::uint16_t TextAlign = 0;
  TPoint ViewportOrigin;
};

class TRecordingDevice : public TDevice {
 public:
  /// Bitmap, when given, is what Bitmap() returns (as a memory device would).
  explicit TRecordingDevice(std::int32_t PixelsPerInch = 96,
                            std::shared_ptr<TBitmap> Bitmap = nullptr);

  std::vector<TRecordedCall> Calls;
  /// When false, calls are not kept (a device that only stands in for a real one).
  bool Recording = true;
  /// The recorded calls of that name, in order.
  [[nodiscard]] std::vector<const TRecordedCall*> CallsNamed(std::string_view Name) const;

  THandle SelectObject(const THandle& Object) override;
  void SetBkMode(TBkMode Mode) override;
  void SetBkColor(TColor Color) override;
  void SetTextColor(TColor Color) override;
  void SetTextAlign(std::uint16_t Flags) override;
  void SetViewportOrigin(TPoint Origin) override;
  void SetClipRect(const TRect& Rect) override;
  void RemoveClipping() override;
  [[nodiscard]] std::int32_t PixelsPerInchX() const override { return ppi_; }
  [[nodiscard]] std::int32_t PixelsPerInchY() const override { return ppi_; }
  void Polygon(std::span<const TPoint> Points) override;
  void Polyline(std::span<const TPoint> Points) override;
  void Ellipse(const TRect& Rect) override;
  void Rectangle(const TRect& Rect) override;
  void FillRect(const TRect& Rect, const THandle& Brush) override;
  void SetPixel(std::int32_t X, std::int32_t Y, TColor Color) override;
  void TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) override;
  [[nodiscard]] TSize TextExtent(std::string_view Text) override;
  void DrawBitmap(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) override;
  void StretchBitmap(const TRect& Dest, const TBitmap& Bitmap) override;
  void DrawFocusRect(const TRect& Rect) override;
  [[nodiscard]] TBitmap* Bitmap() noexcept override { return bitmap_.get(); }

 private:
  TRecordedCall& Record(std::string Name);

  std::int32_t ppi_;
  std::shared_ptr<TBitmap> bitmap_;
  TRecordedCall scratch_;
};

/// Graphics services whose memory devices are recording devices.
class TRecordingGraphics : public TGraphics {
 public:
  explicit TRecordingGraphics(std::int32_t ScreenPixelsPerInch = 96) : ppi_(ScreenPixelsPerInch) {}
  [[nodiscard]] std::int32_t ScreenPixelsPerInch() const override { return ppi_; }
  [[nodiscard]] std::unique_ptr<TDevice> CreateMemoryDevice(
      std::shared_ptr<TBitmap> Bitmap) override;
  /// The picture registered in Pictures under exactly that name; otherwise the loader's
  /// error.
  [[nodiscard]] std::shared_ptr<TBitmap> LoadPicture(const std::string& FileName) override;

  /// The memory devices made so far (owned by their users; valid while they live).
  std::vector<TRecordingDevice*> Devices;
  /// Pictures that LoadPicture hands out, by file name.
  std::map<std::string, std::shared_ptr<TBitmap>> Pictures;

 private:
  std::int32_t ppi_;
};

}  // namespace platform
