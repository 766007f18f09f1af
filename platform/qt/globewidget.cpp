#include "platform/qt/globewidget.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QEnterEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QTransform>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>

#include "globe/projection/projection.h"
#include "platform/qt/qtdevice.h"

namespace platform {

namespace {

std::int32_t Clamp32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

/// The widget's device for one paint, in device pixels: coordinates and clip rectangles are
/// scaled back by the device pixel ratio, so that one unit is one pixel of the screen.
class TWindowDevice final : public TQtDevice {
 public:
  TWindowDevice(QPaintDevice& Target, qreal Ratio, std::int32_t PixelsPerInch)
      : TQtDevice(Target, PixelsPerInch), scale_(QTransform::fromScale(1 / Ratio, 1 / Ratio)) {
    // The base set its origin before this class existed.
    SetViewportOrigin(ViewportOrigin());
  }

  void SetViewportOrigin(TPoint Origin) override {
    TQtDevice::SetViewportOrigin(Origin);
    if (Active()) Painter().setTransform(QTransform::fromTranslate(Origin.X, Origin.Y) * scale_);
  }

  void SetClipRect(const TRect& Rect) override {
    TQtDevice::SetClipRect(Rect);
    if (!Active()) return;
    const TRect r = Rect.Width() > 0 && Rect.Height() > 0 ? Rect : TRect{};
    QPainter& painter = Painter();
    const QTransform kept = painter.transform();
    painter.setTransform(scale_);
    painter.setClipRect(QRect(r.Left, r.Top, r.Width(), r.Height()));
    painter.setTransform(kept);
  }

 private:
  QTransform scale_;
};

std::optional<TMouseButton> ToButton(Qt::MouseButton Button) noexcept {
  switch (Button) {
    case Qt::LeftButton:
      return TMouseButton::mbLeft;
    case Qt::RightButton:
      return TMouseButton::mbRight;
    case Qt::MiddleButton:
      return TMouseButton::mbMiddle;
    default:
      return std::nullopt;
  }
}

TShiftState ToShift(Qt::KeyboardModifiers Modifiers, bool Double) noexcept {
  TShiftState s;
  s.Shift = Modifiers.testFlag(Qt::ShiftModifier);
  s.Alt = Modifiers.testFlag(Qt::AltModifier);
  s.Ctrl = Modifiers.testFlag(Qt::ControlModifier);
  s.Double = Double;
  return s;
}

/// Multiplies the scale by Factor, then moves the view so that the geographic point that
/// was under (X, Y) is there again. Off the earth the zoom keeps the centre, as the
/// projection does.
void ZoomAt(globe::TGlobe4& Globe, TPoint At, globe::Extended Factor) {
  globe::TGlobeProjection& prj = Globe.Projection();
  const globe::Extended old = prj.ScaleFactor();
  if (!(old > 0) || !std::isfinite(Factor)) return;
  globe::TPointLL ll;
  const bool onEarth = prj.DeviceXYToLL(At.X, At.Y, ll);
  prj.SetScaleFactor(old * Factor);
  if (!onEarth || prj.ScaleFactor() == old) return;
  TPoint now;
  if (!prj.PointLLToXY(ll, now)) return;
  const std::int64_t x = std::int64_t{prj.XOrigin()} + At.X - now.X;
  const std::int64_t y = std::int64_t{prj.YOrigin()} + At.Y - now.Y;
  if (x != Clamp32(x) || y != Clamp32(y)) return;
  if (x != prj.XOrigin() || y != prj.YOrigin())
    prj.SetCenterXY({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
}

}  // namespace

// ---- Errors ---------------------------------------------------------------------------------

template <class Fn>
void TGlobeWidget::Guard(Fn&& Handler) {
  try {
    Handler();
  } catch (const std::exception& e) {
    Report(e.what());
  } catch (...) {
    Report("Unknown error");
  }
}

void TGlobeWidget::Report(const std::string& Message) {
  if (OnError) {
    OnError(Message);
    return;
  }
  // Not from inside the event: a modal box would run a nested event loop in the middle of
  // a paint or a drag.
  const QString text = QString::fromStdString(Message);
  QTimer::singleShot(0, this, [this, text] {
    QMessageBox::critical(this, QApplication::applicationDisplayName(), text);
  });
}

TGlobeWidget::TGlobeWidget(QWidget* Parent)
    : QAbstractScrollArea(Parent), globe_(std::make_unique<globe::TGlobe4>()) {
  setFrameStyle(QFrame::NoFrame);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  for (const TScrollBarKind kind : {TScrollBarKind::sbHorizontal, TScrollBarKind::sbVertical}) {
    QScrollBar* bar = Bar(kind);
    connect(bar, &QAbstractSlider::actionTriggered, this,
            [this, kind](int Action) { ScrollAction(kind, Action); });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, kind] {
      Scroll(kind, TScrollCode::scThumbPosition);
      Scroll(kind, TScrollCode::scEndScroll);
    });
  }
  globe_->SetHost(this);
}

TGlobeWidget::~TGlobeWidget() {
  ReleaseMouse();
  globe_->SetHost(nullptr);
  globe_.reset();
}

// ---- What the view asks of its window -------------------------------------------------------

void TGlobeWidget::Invalidate() {
  if (!syncing_in_paint_) viewport()->update();
}

void TGlobeWidget::CaptureMouse() {
  // Grabbing needs a window on the screen; a hidden one gets no mouse events anyway.
  if (captured_ || !viewport()->isVisible()) return;
  viewport()->grabMouse();
  captured_ = true;
}

void TGlobeWidget::ReleaseMouse() {
  if (!captured_) return;
  viewport()->releaseMouse();
  captured_ = false;
}

QScrollBar* TGlobeWidget::Bar(TScrollBarKind Kind) const {
  return Kind == TScrollBarKind::sbHorizontal ? horizontalScrollBar() : verticalScrollBar();
}

TScrollInfo TGlobeWidget::ScrollBar(TScrollBarKind Kind) const {
  TScrollInfo info = Kind == TScrollBarKind::sbHorizontal ? horz_ : vert_;
  info.TrackPosition = Bar(Kind)->sliderPosition();
  return info;
}

void TGlobeWidget::SetScrollBar(TScrollBarKind Kind, const TScrollInfo& Info) {
  TScrollInfo& stored = Kind == TScrollBarKind::sbHorizontal ? horz_ : vert_;
  stored = Info;
  stored.TrackPosition = Info.Position;
  QScrollBar* bar = Bar(Kind);
  const QSignalBlocker quiet(bar);
  // The view's range includes the page; a Qt bar's maximum is the last thumb position.
  const std::int32_t page = std::max(Info.Page, 0);
  const std::int32_t last =
      Clamp32(std::max<std::int64_t>(Info.Min, std::int64_t{Info.Max} - page));
  bar->setRange(Info.Min, last);
  bar->setPageStep(page);
  bar->setSingleStep(std::max(1, page / 20));
  bar->setValue(Info.Position);
  bar->setEnabled(Info.Enabled);
}

void TGlobeWidget::RecreateWindow(const TWindowStyle& Style) {
  style_ = Style;
  // A bar in the style is always there, disabled when there is nothing to scroll.
  setHorizontalScrollBarPolicy(Style.HorzScrollBar ? Qt::ScrollBarAlwaysOn
                                                   : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Style.VertScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  // Nothing is erased before a paint; a transparent window lets what lies below show where
  // the view does not draw.
  viewport()->setAttribute(Qt::WA_NoSystemBackground, true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent, !Style.TransparentBackground);
  if (isWindow()) setAttribute(Qt::WA_TranslucentBackground, Style.TransparentBackground);
  viewport()->update();
}

// ---- Events -----------------------------------------------------------------------------------

void TGlobeWidget::SyncClientSize() {
  const qreal ratio = viewport()->devicePixelRatioF();
  const QSize logical = viewport()->size();
  const QSize size(static_cast<int>(std::lround(logical.width() * ratio)),
                   static_cast<int>(std::lround(logical.height() * ratio)));
  if (size == client_) return;
  client_ = size;
  Guard([&] { globe_->Resize(size.width(), size.height()); });
}

void TGlobeWidget::paintEvent(QPaintEvent* /*Event*/) {
  // The ratio changes without a resize when the window moves to another screen.
  syncing_in_paint_ = true;
  SyncClientSize();
  syncing_in_paint_ = false;
  const qreal ratio = viewport()->devicePixelRatioF();
  TWindowDevice device(*viewport(), ratio,
                       static_cast<std::int32_t>(std::lround(viewport()->logicalDpiY() * ratio)));
  if (!device.Active()) return;
  Guard([&] { globe_->Paint(device); });
}

void TGlobeWidget::resizeEvent(QResizeEvent* /*Event*/) { SyncClientSize(); }

TPoint TGlobeWidget::ToDevice(const QPointF& Position) const {
  const qreal ratio = viewport()->devicePixelRatioF();
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  auto scale = [&](qreal v) {
    return static_cast<std::int32_t>(std::clamp(std::floor(v * ratio), kMin, kMax));
  };
  return {scale(Position.x()), scale(Position.y())};
}

void TGlobeWidget::ForwardPress(QMouseEvent* Event, bool Double) {
  const std::optional<TMouseButton> button = ToButton(Event->button());
  if (!button) {
    Event->ignore();
    return;
  }
  const TPoint p = ToDevice(Event->position());
  const TShiftState shift = ToShift(Event->modifiers(), Double);
  Guard([&] { globe_->MouseDown(*button, shift, p.X, p.Y); });
  Event->accept();
}

void TGlobeWidget::mousePressEvent(QMouseEvent* Event) { ForwardPress(Event, false); }

void TGlobeWidget::mouseDoubleClickEvent(QMouseEvent* Event) { ForwardPress(Event, true); }

void TGlobeWidget::mouseMoveEvent(QMouseEvent* Event) {
  const TPoint p = ToDevice(Event->position());
  const TShiftState shift = ToShift(Event->modifiers(), false);
  Guard([&] { globe_->MouseMove(shift, p.X, p.Y); });
  Event->accept();
}

void TGlobeWidget::mouseReleaseEvent(QMouseEvent* Event) {
  const std::optional<TMouseButton> button = ToButton(Event->button());
  if (!button) {
    Event->ignore();
    return;
  }
  const TPoint p = ToDevice(Event->position());
  const TShiftState shift = ToShift(Event->modifiers(), false);
  Guard([&] { globe_->MouseUp(*button, shift, p.X, p.Y); });
  Event->accept();
}

void TGlobeWidget::wheelEvent(QWheelEvent* Event) {
  const int delta = Event->angleDelta().y();
  if (!(wheel_factor_ > 1.0) || delta == 0) {
    Event->ignore();
    return;
  }
  // 120 is one notch; finer wheels and touch pads send parts of it.
  const globe::Extended factor = std::pow(static_cast<globe::Extended>(wheel_factor_),
                                          static_cast<globe::Extended>(delta) / 120);
  const TPoint p = ToDevice(Event->position());
  Guard([&] { ZoomAt(*globe_, p, factor); });
  Event->accept();
}

void TGlobeWidget::enterEvent(QEnterEvent* Event) {
  Guard([&] { globe_->MouseEnter(); });
  QAbstractScrollArea::enterEvent(Event);
}

void TGlobeWidget::leaveEvent(QEvent* Event) {
  Guard([&] { globe_->MouseLeave(); });
  QAbstractScrollArea::leaveEvent(Event);
}

void TGlobeWidget::changeEvent(QEvent* Event) {
  if (Event->type() == QEvent::PaletteChange || Event->type() == QEvent::StyleChange)
    Guard([&] { globe_->SystemColorsChanged(); });
  QAbstractScrollArea::changeEvent(Event);
}

// ---- Scroll bars --------------------------------------------------------------------------

void TGlobeWidget::ScrollAction(TScrollBarKind Kind, int Action) {
  TScrollCode code{};
  switch (Action) {
    case QAbstractSlider::SliderSingleStepSub:
      code = TScrollCode::scLineUp;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      code = TScrollCode::scLineDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      code = TScrollCode::scPageUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      code = TScrollCode::scPageDown;
      break;
    case QAbstractSlider::SliderToMinimum:
      code = TScrollCode::scTop;
      break;
    case QAbstractSlider::SliderToMaximum:
      code = TScrollCode::scBottom;
      break;
    case QAbstractSlider::SliderMove:
      code = TScrollCode::scThumbTrack;
      break;
    default:
      return;
  }
  Scroll(Kind, code);
  // The thumb shows where the view went, not where the bar's own step would put it; a
  // dragged thumb stays under the mouse.
  if (code != TScrollCode::scThumbTrack)
    Bar(Kind)->setValue((Kind == TScrollBarKind::sbHorizontal ? horz_ : vert_).Position);
}

void TGlobeWidget::Scroll(TScrollBarKind Kind, TScrollCode Code) {
  Guard([&] {
    if (Kind == TScrollBarKind::sbHorizontal) {
      globe_->HorzScroll(Code);
    } else {
      globe_->VertScroll(Code);
    }
  });
}

}  // namespace platform
