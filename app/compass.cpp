#include "app/compass.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPalette>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <numbers>
#include <utility>

#include "platform/qt/qtdevice.h"

namespace orvane {

namespace {

using platform::TPoint;

constexpr platform::TColor kBlack = platform::RGB(0, 0, 0);
constexpr platform::TColor kWhite = platform::RGB(255, 255, 255);
constexpr platform::TColor kGrey = platform::RGB(0x80, 0x80, 0x80);
constexpr platform::TColor kRed = platform::RGB(0xFF, 0, 0);
constexpr platform::TColor kButtonFace = 0xFF00000F;
constexpr std::int32_t kLabelPoints = 8;

constexpr double kPi = std::numbers::pi;

platform::THandle Pen(platform::TColor Color, std::int32_t Width) {
  return platform::CreatePen({platform::psSolid, Width, Color});
}

platform::THandle Brush(platform::TColor Color) {
  platform::TBrushDesc desc;
  desc.Color = Color;
  return platform::CreateBrush(desc);
}

// A point at angle A (0 down, π/2 right) and radius R around (C, C), truncated.
TPoint Polar(std::int32_t C, double A, double R) {
  return {static_cast<std::int32_t>(C + std::sin(A) * R),
          static_cast<std::int32_t>(C + std::cos(A) * R)};
}

void Tick(platform::TDevice& Device, std::int32_t C, double A, double Inner, double Outer) {
  const TPoint line[2] = {Polar(C, A, Inner), Polar(C, A, Outer)};
  Device.Polyline(line);
}

// Clamps a real coordinate into 32 bits: a huge area must not overflow the conversion.
std::int32_t RoundCoord(double V) {
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::lround(std::clamp(V, kMin, kMax)));
}

// One label facing outwards, centred on the circle of radius 0.8 R around the real centre
// of the area.
void Label(platform::TDevice& Device, const platform::TFontDesc& Template, std::int32_t Width,
           std::int32_t Height, std::int32_t R, double A, const std::string& Text) {
  const platform::TSize extent = Device.TextExtent(Text);
  const double tw = extent.cx;
  const double th = extent.cy;
  const double d = std::hypot(th / 2 + 0.8 * R, tw / 2);
  const double b = d > 0 ? A + std::asin((tw / 2) / d) : A;
  const std::int32_t x = RoundCoord(d * std::sin(b) + Width / 2.0);
  const std::int32_t y = RoundCoord(d * std::cos(b) + Height / 2.0);
  platform::TFontDesc rotated = Template;
  rotated.Escapement = static_cast<std::int32_t>((A / kPi + 1) * 1800);
  rotated.Orientation = rotated.Escapement;
  Device.SelectObject(platform::CreateFontObject(rotated));
  Device.TextOut(x, y, Text);
}

}  // namespace

QString AzimuthHead(const QString& Azimuth) {
  const qsizetype slash = Azimuth.indexOf(u'/');
  return slash < 0 ? QString() : Azimuth.left(slash);
}

std::int32_t ParseAzimuth(const QString& Azimuth) {
  const QString head = AzimuthHead(Azimuth);
  qsizetype i = 0;
  while (i < head.size() && head[i] == u' ') ++i;
  bool ok = false;
  std::int32_t value = 0;
  const QStringView number = QStringView(head).mid(i);
  // toInt alone would also take trailing blanks; the conversion takes digits only.
  if (!number.isEmpty() && !number.back().isSpace()) value = number.toInt(&ok, 10);
  if (!ok) throw EConvertError("'" + head.toStdString() + "' is not a valid integer value");
  return value;
}

std::optional<QString> PaintCompass(platform::TDevice& Device, std::int32_t Width,
                                    std::int32_t Height, const QString& Azimuth) {
  const std::int32_t c = Width / 2;
  const std::int32_t r = c - 30;
  const platform::THandle grey = Brush(kGrey);

  Device.SelectObject(Pen(kBlack, 4));
  Device.SelectObject(grey);
  Device.Rectangle({0, 0, Width, Height});

  Device.SelectObject(Pen(kWhite, 1));
  Device.Ellipse({30, 30, Width - 30, Width - 30});

  for (int k = 0; k < 36; ++k) Tick(Device, c, k * 10 * kPi / 180, 0.9 * r, r);
  for (int k = 0; k < 36; ++k) Tick(Device, c, (5 + k * 10) * kPi / 180, 0.95 * r, r);

  platform::TFontDesc font;
  font.FaceName = "Arial";
  font.Height = static_cast<std::int32_t>(
      std::lround(kLabelPoints * static_cast<double>(Device.PixelsPerInchY()) / 72));
  Device.SelectObject(platform::CreateFontObject(font));
  Device.SetTextColor(kWhite);
  Device.SetTextAlign(platform::TA_LEFT | platform::TA_TOP);
  // Text cells are filled with the brush colour, as a solid canvas brush does.
  Device.SetBkMode(platform::OPAQUE);
  Device.SetBkColor(kGrey);
  Device.SelectObject(Pen(kBlack, 1));

  Label(Device, font, Width, Height, r, kPi, " N ");
  Label(Device, font, Width, Height, r, kPi / 2, " E ");
  Label(Device, font, Width, Height, r, 0, " S ");
  Label(Device, font, Width, Height, r, 3 * kPi / 2, " W ");
  for (int i = 1; i <= 11; ++i) {
    if (i % 3 == 0) continue;
    std::string text(1, ' ');
    text += std::to_string(i * 30);
    text += ' ';
    Label(Device, font, Width, Height, r, (6 - i) * kPi / 6, text);
  }

  if (Azimuth.isEmpty()) return std::nullopt;
  const std::int32_t az = ParseAzimuth(Azimuth);

  const platform::THandle oldPen = Device.SelectObject(Pen(kBlack, 1));
  const platform::THandle oldBrush = Device.SelectObject(Brush(kRed));
  const double n = az * kPi / 180;
  const double sn = std::sin(n);
  const double cn = std::cos(n);
  auto at = [](double X, double Y) {
    return TPoint{static_cast<std::int32_t>(X), static_cast<std::int32_t>(Y)};
  };
  const TPoint needle[3] = {at(c + sn * r, c - cn * r), at(c + 3 * cn, c + 3 * sn),
                            at(c - 3 * cn, c - 3 * sn)};
  Device.Polygon(needle);
  Device.SelectObject(oldPen);
  Device.SelectObject(oldBrush);
  return QStringLiteral("Az - ") + AzimuthHead(Azimuth);
}

// ---- Window ------------------------------------------------------------------------------

/// The drawing area that fills the window's client area.
class TfCompass::TCompassArea final : public QWidget {
 public:
  explicit TCompassArea(TfCompass& Owner) : QWidget(&Owner), owner_(Owner) {
    setObjectName(QStringLiteral("compass"));
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent* /*Event*/) override { owner_.CompassPaint(*this); }

 private:
  TfCompass& owner_;
};

TfCompass::TfCompass(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      compass_(new TCompassArea(*this)),
      frame_fit_(new TFrameFit(*this, [this](QSize Outer) {
        SetWindowBounds(WindowLeft(), WindowTop(), Outer.width(), Outer.height());
      })) {
  setObjectName(QStringLiteral("fCompass"));
  QFont face(QStringLiteral("Tahoma"));
  face.setPointSize(8);
  setFont(face);
  const platform::TColor rgb = platform::ColorToRGB(kButtonFace);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(platform::GetRValue(rgb), platform::GetGValue(rgb),
                                            platform::GetBValue(rgb)));
  setPalette(palette);
  setMinimumSize(kMinWidth - kDesignFrameWidth, kMinHeight - kDesignFrameHeight);
  setMaximumSize(kMaxWidth - kDesignFrameWidth, kMaxHeight - kDesignFrameHeight);
  resize(264, 262);
  compass_->setGeometry(rect());
}

TfCompass::~TfCompass() = default;

void TfCompass::SetAzimuthSource(std::function<QString()> Source) {
  source_ = std::move(Source);
  RepaintCompass();
}

void TfCompass::RepaintCompass() { compass_->update(); }

QSize TfCompass::CompassSize() const { return compass_->size(); }

QSize TfCompass::FrameExtra() const {
  const QSize outer = frameGeometry().size();
  const QSize inner = size();
  if (outer != inner) return outer - inner;
  return {kDesignFrameWidth, kDesignFrameHeight};
}

int TfCompass::WindowTop() const { return pos().y(); }
int TfCompass::WindowLeft() const { return pos().x(); }
int TfCompass::WindowHeight() const { return height() + FrameExtra().height(); }
int TfCompass::WindowWidth() const { return width() + FrameExtra().width(); }

void TfCompass::SetWindowBounds(int Left, int Top, int Width, int Height) {
  const QSize extra = FrameExtra();
  move(Left, Top);
  resize(Width - extra.width(), Height - extra.height());
  compass_->setGeometry(rect());
  // Before the platform frames the window its frame is only guessed; the outer size asked
  // for is applied again once the frame is known.
  if (frameGeometry().size() == size()) frame_fit_->Expect(QSize(Width, Height));
}

void TfCompass::resizeEvent(QResizeEvent* /*Event*/) { compass_->setGeometry(rect()); }

void TfCompass::closeEvent(QCloseEvent* Event) {
  if (OnClose) OnClose(*this);
  Event->accept();
}

void TfCompass::CompassPaint(QWidget& Area) {
  platform::TQtDevice device(Area);
  if (!device.Active()) return;
  const QString azimuth = source_ ? source_() : QString();
  try {
    if (const std::optional<QString> title =
            PaintCompass(device, Area.width(), Area.height(), azimuth))
      setWindowTitle(*title);
    reported_.reset();
  } catch (const std::exception& e) {
    if (reported_ != azimuth) {
      reported_ = azimuth;
      Report(e.what());
    }
  }
}

void TfCompass::Report(const std::string& Message) {
  if (OnError) {
    OnError(Message);
    return;
  }
  // Not from inside the paint: a modal box would run a nested event loop in it.
  const QString text = QString::fromStdString(Message);
  QTimer::singleShot(0, this, [this, text] {
    QMessageBox::critical(this, QApplication::applicationDisplayName(), text);
  });
}

}  // namespace orvane
