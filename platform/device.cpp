#include "platform/device.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "platform/recording.h"

#ifdef _WIN32
#include "platform/win32/winapi.h"
#endif

namespace platform {

// ---- Drawing objects --------------------------------------------------------------------

THandle CreatePen(const TPenDesc& Desc) { return std::make_shared<const TDeviceObject>(Desc); }
THandle CreateBrush(const TBrushDesc& Desc) { return std::make_shared<const TDeviceObject>(Desc); }
THandle CreateFontObject(const TFontDesc& Desc) {
  return std::make_shared<const TDeviceObject>(Desc);
}

namespace {

THandle SolidBrush(TColor Color) {
  TBrushDesc desc;
  desc.Color = Color;
  return CreateBrush(desc);
}

THandle MakeStockObject(int Index) {
  switch (Index) {
    case WHITE_BRUSH:
      return SolidBrush(RGB(255, 255, 255));
    case LTGRAY_BRUSH:
      return SolidBrush(RGB(192, 192, 192));
    case GRAY_BRUSH:
      return SolidBrush(RGB(128, 128, 128));
    case DKGRAY_BRUSH:
      return SolidBrush(RGB(64, 64, 64));
    case BLACK_BRUSH:
      return SolidBrush(RGB(0, 0, 0));
    case NULL_BRUSH: {
      TBrushDesc desc;
      desc.Kind = TBrushKind::Null;
      return CreateBrush(desc);
    }
    case WHITE_PEN:
      return CreatePen({psSolid, 0, RGB(255, 255, 255)});
    case BLACK_PEN:
      return CreatePen({psSolid, 0, RGB(0, 0, 0)});
    case NULL_PEN:
      return CreatePen({psClear, 0, RGB(0, 0, 0)});
    case SYSTEM_FONT: {
      TFontDesc desc;
      desc.Height = 16;
      desc.Weight = 700;
      desc.FaceName = "Sans Serif";
      return CreateFontObject(desc);
    }
    case DEFAULT_GUI_FONT: {
      TFontDesc desc;
      desc.Height = 11;
      desc.FaceName = "Sans Serif";
      return CreateFontObject(desc);
    }
    default:
      return {};
  }
}

}  // namespace

THandle GetStockObject(int Index) {
  static const auto stock = [] {
    std::array<THandle, DEFAULT_GUI_FONT + 1> objects;
    for (int i = 0; i < static_cast<int>(objects.size()); ++i) objects[i] = MakeStockObject(i);
    return objects;
  }();
  if (Index < 0 || Index >= static_cast<int>(stock.size())) return {};
  return stock[Index];
}

// ---- Pictures ---------------------------------------------------------------------------

TBitmap::TBitmap(std::int32_t Width, std::int32_t Height) {
  if (Width < 1 || Height < 1) return;
  // In 64 bits: Width × 4 alone can exceed 32 bits. With the stride checked first,
  // stride × height stays below 2^62.
  const std::int64_t stride = std::int64_t{Width} * kPixelBytes;
  if (stride > kMaxBytes || stride * Height > kMaxBytes)
    throw std::length_error("TBitmap: picture too large");
  Allocate(static_cast<std::size_t>(stride * Height));
  width_ = Width;
  height_ = Height;
  stride_ = static_cast<std::int32_t>(stride);
}

TBitmap::TBitmap(const TBitmap& Other)
    : width_(Other.width_),
      height_(Other.height_),
      stride_(Other.stride_),
      opaque_(Other.opaque_),
      size_(Other.size_) {
  if (size_ == 0) return;
  Allocate(size_);
  std::memcpy(data_.get(), Other.data_.get(), size_);
}

#ifdef _WIN32

void TBitmap::Allocate(std::size_t Bytes) {
  // Below 2^31 (kMaxBytes): the high half of the size is 0.
  section_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(Bytes), nullptr));
  if (!section_) throw std::bad_alloc();
  data_.reset(static_cast<std::uint8_t*>(
      ::MapViewOfFile(section_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, Bytes)));
  if (!data_) {
    section_.reset();
    throw std::bad_alloc();
  }
  size_ = Bytes;
}

void TBitmap::TFree::operator()(std::uint8_t* p) const noexcept { ::UnmapViewOfFile(p); }
void TBitmap::TCloseSection::operator()(void* Handle) const noexcept { ::CloseHandle(Handle); }

#else

void TBitmap::Allocate(std::size_t Bytes) {
  data_.reset(static_cast<std::uint8_t*>(std::calloc(Bytes, 1)));
  if (!data_) throw std::bad_alloc();
  size_ = Bytes;
}

#endif

void TBitmap::MakeOpaque() const noexcept {
  // Whole words, so that the loop vectorises; the colours stay.
  auto* words = reinterpret_cast<std::uint32_t*>(data_.get());
  const std::size_t count = size_ / kPixelBytes;
  for (std::size_t i = 0; i < count; ++i) words[i] |= kOpaque;
  opaque_ = true;
}

TBitmap& TBitmap::operator=(const TBitmap& Other) {
  if (this != &Other) *this = TBitmap(Other);
  return *this;
}

// ---- Device context ---------------------------------------------------------------------

TDevice::TDevice()
    : pen_(GetStockObject(BLACK_PEN)),
      brush_(GetStockObject(WHITE_BRUSH)),
      font_(GetStockObject(SYSTEM_FONT)) {}

TDevice::~TDevice() = default;

THandle TDevice::SelectObject(const THandle& Object) {
  if (!Object) return {};
  THandle* slot = nullptr;
  switch (Object->Kind()) {
    case TObjectKind::Pen:
      slot = &pen_;
      break;
    case TObjectKind::Brush:
      slot = &brush_;
      break;
    case TObjectKind::Font:
      slot = &font_;
      break;
  }
  THandle previous = std::move(*slot);
  *slot = Object;
  return previous;
}

// ---- Graphics services ------------------------------------------------------------------

namespace {

TGraphics* installed_graphics = nullptr;

// The stand-in's devices draw nothing and keep nothing, and it keeps no list of them: it
// may serve a whole process.
class TStandInGraphics final : public TGraphics {
 public:
  [[nodiscard]] std::int32_t ScreenPixelsPerInch() const override { return 96; }
  [[nodiscard]] std::unique_ptr<TDevice> CreateMemoryDevice(
      std::shared_ptr<TBitmap> Bitmap) override {
    auto device = std::make_unique<TRecordingDevice>(96, std::move(Bitmap));
    device->Recording = false;
    return device;
  }
};

TGraphics& StandInGraphics() {
  static TStandInGraphics stand_in;
  return stand_in;
}

}  // namespace

TGraphics& Graphics() noexcept {
  return installed_graphics ? *installed_graphics : StandInGraphics();
}

TGraphics* SetGraphics(TGraphics* Services) noexcept {
  TGraphics* previous = installed_graphics;
  installed_graphics = Services;
  return previous;
}

}  // namespace platform
