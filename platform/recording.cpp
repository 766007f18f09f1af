#include "platform/recording.h"

#include <algorithm>
#include <utility>

namespace platform {

TRecordingDevice::TRecordingDevice(std::int32_t PixelsPerInch, std::shared_ptr<TBitmap> Bitmap)
    : ppi_(PixelsPerInch), bitmap_(std::move(Bitmap)) {}

std::vector<const TRecordedCall*> TRecordingDevice::CallsNamed(std::string_view Name) const {
  std::vector<const TRecordedCall*> result;
  for (const TRecordedCall& call : Calls)
    if (call.Name == Name) result.push_back(&call);
  return result;
}

TRecordedCall& TRecordingDevice::Record(std::string Name) {
  if (!Recording) {
    scratch_ = TRecordedCall{};
    return scratch_;
  }
  TRecordedCall& call = Calls.emplace_back();
  call.Name = std::move(Name);
  call.Pen = CurrentPen();
  call.Brush = CurrentBrush();
  call.Font = CurrentFont();
  call.BkMode = BkMode();
  call.BkColor = BkColor();
  call.TextColor = TextColor();
  call.TextAlign = TextAlign();
  call.ViewportOrigin = ViewportOrigin();
  return call;
}

THandle TRecordingDevice::SelectObject(const THandle& Object) {
  THandle previous = TDevice::SelectObject(Object);
  Record("SelectObject").Object = Object;
  return previous;
}

void TRecordingDevice::SetBkMode(TBkMode Mode) {
  TDevice::SetBkMode(Mode);
  Record("SetBkMode").Value = Mode;
}

void TRecordingDevice::SetBkColor(TColor Color) {
  TDevice::SetBkColor(Color);
  Record("SetBkColor").Value = static_cast<std::int32_t>(Color);
}

void TRecordingDevice::SetTextColor(TColor Color) {
  TDevice::SetTextColor(Color);
  Record("SetTextColor").Value = static_cast<std::int32_t>(Color);
}

void TRecordingDevice::SetTextAlign(std::uint16_t Flags) {
  TDevice::SetTextAlign(Flags);
  Record("SetTextAlign").Value = Flags;
}

void TRecordingDevice::SetViewportOrigin(TPoint Origin) {
  TDevice::SetViewportOrigin(Origin);
  Record("SetViewportOrigin").Points = {Origin};
}

void TRecordingDevice::SetClipRect(const TRect& Rect) { Record("SetClipRect").Rect = Rect; }

void TRecordingDevice::RemoveClipping() { Record("RemoveClipping"); }

void TRecordingDevice::Polygon(std::span<const TPoint> Points) {
  Record("Polygon").Points.assign(Points.begin(), Points.end());
}

void TRecordingDevice::Polyline(std::span<const TPoint> Points) {
  Record("Polyline").Points.assign(Points.begin(), Points.end());
}

void TRecordingDevice::Ellipse(const TRect& Rect) { Record("Ellipse").Rect = Rect; }

void TRecordingDevice::Rectangle(const TRect& Rect) { Record("Rectangle").Rect = Rect; }

void TRecordingDevice::FillRect(const TRect& Rect, const THandle& Brush) {
  TRecordedCall& call = Record("FillRect");
  call.Rect = Rect;
  call.Object = Brush;
}

void TRecordingDevice::SetPixel(std::int32_t X, std::int32_t Y, TColor Color) {
  TRecordedCall& call = Record("SetPixel");
  call.Points = {{X, Y}};
  call.Value = static_cast<std::int32_t>(Color);
}

void TRecordingDevice::TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) {
  TRecordedCall& call = Record("TextOut");
  call.Points = {{X, Y}};
  call.Text = Text;
}

TSize TRecordingDevice::TextExtent(std::string_view Text) {
  const std::int32_t height = CurrentFont() ? CurrentFont()->Font().Height : 0;
  // Characters, not bytes: UTF-8 continuation bytes do not start one.
  const auto characters = std::count_if(Text.begin(), Text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  return {static_cast<std::int32_t>(characters) * std::max(1, height / 2), height};
}

void TRecordingDevice::DrawBitmap(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) {
  TRecordedCall& call = Record("DrawBitmap");
  call.Points = {{X, Y}};
  call.Rect = {X, Y, X + Bitmap.Width(), Y + Bitmap.Height()};
}

void TRecordingDevice::StretchBitmap(const TRect& Dest, const TBitmap& Bitmap) {
  TRecordedCall& call = Record("StretchBitmap");
  call.Rect = Dest;
  call.Points = {{Bitmap.Width(), Bitmap.Height()}};
}

void TRecordingDevice::DrawFocusRect(const TRect& Rect) { Record("DrawFocusRect").Rect = Rect; }

std::shared_ptr<TBitmap> TRecordingGraphics::LoadPicture(const std::string& FileName) {
  const auto it = Pictures.find(FileName);
  if (it == Pictures.end()) return TGraphics::LoadPicture(FileName);
  return it->second;
}

std::unique_ptr<TDevice> TRecordingGraphics::CreateMemoryDevice(std::shared_ptr<TBitmap> Bitmap) {
  auto device = std::make_unique<TRecordingDevice>(ppi_, std::move(Bitmap));
  Devices.push_back(device.get());
  return device;
}

}  // namespace platform
