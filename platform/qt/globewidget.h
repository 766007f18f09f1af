// The window of a globe view on Qt Widgets: a scroll area whose viewport is the globe's
// client area. It owns the view, forwards paint, resize, mouse, wheel, scroll-bar and
// enter/leave events to it, and does for it what the view asks of its window (repaint,
// mouse capture, scroll bars, window style).
//
// The view works in device pixels: its client area is the viewport's size times the
// device pixel ratio, mouse positions are scaled the same way, and the window device maps
// those pixels one to one onto the screen, so the off-screen picture is never stretched.
#pragma once

#include <QAbstractScrollArea>
#include <QSize>
#include <functional>
#include <memory>
#include <string>

#include "globe/view/globe.h"
#include "platform/windowhost.h"

class QScrollBar;

namespace platform {

class TGlobeWidget : public QAbstractScrollArea, public TWindowHost {
 public:
  /// A frameless window with a new view: both scroll bars, opaque, mouse moves reported
  /// also without a button down.
  explicit TGlobeWidget(QWidget* Parent = nullptr);
  /// Detaches the view from the window before it is freed, so that nothing it does while
  /// going reaches a half-destroyed window.
  ~TGlobeWidget() override;
  TGlobeWidget(const TGlobeWidget&) = delete;
  TGlobeWidget& operator=(const TGlobeWidget&) = delete;

  [[nodiscard]] globe::TGlobe4& Globe() const noexcept { return *globe_; }

  /// Scale factor applied per wheel notch (an angle of 15°) towards the reader; away from
  /// the reader divides by it. The geographic point under the cursor stays there. A
  /// factor of 1 or less leaves the wheel to the parent window. 1.1 for a new window.
  [[nodiscard]] double WheelZoomFactor() const noexcept { return wheel_factor_; }
  void SetWheelZoomFactor(double Value) noexcept { wheel_factor_ = Value; }

  /// Receives the message of an error the view raised while handling an event (errors must
  /// not unwind through Qt). When empty, the error is shown in a message box once the
  /// event is over.
  std::function<void(const std::string& Message)> OnError;

  /// The style the view last asked for.
  [[nodiscard]] const TWindowStyle& Style() const noexcept { return style_; }
  /// The size handed to the view: the viewport in device pixels.
  [[nodiscard]] QSize ClientSize() const noexcept { return client_; }

  // ---- TWindowHost ------------------------------------------------------------------------
  void Invalidate() override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  [[nodiscard]] TScrollInfo ScrollBar(TScrollBarKind Kind) const override;
  void SetScrollBar(TScrollBarKind Kind, const TScrollInfo& Info) override;
  void RecreateWindow(const TWindowStyle& Style) override;
  [[nodiscard]] bool Printing() const override { return false; }

  [[nodiscard]] QSize sizeHint() const override { return {150, 150}; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  /// The view pans itself when told of the scroll; the viewport is not scrolled.
  void scrollContentsBy(int, int) override {}

 private:
  [[nodiscard]] QScrollBar* Bar(TScrollBarKind Kind) const;
  void ScrollAction(TScrollBarKind Kind, int Action);
  void Scroll(TScrollBarKind Kind, TScrollCode Code);
  /// Tells the view the viewport's size in device pixels when it has changed.
  void SyncClientSize();
  [[nodiscard]] TPoint ToDevice(const QPointF& Position) const;
  void ForwardPress(QMouseEvent* Event, bool Double);
  /// Runs Handler, turning an error it raises into a report.
  template <class Fn>
  void Guard(Fn&& Handler);
  void Report(const std::string& Message);

  std::unique_ptr<globe::TGlobe4> globe_;
  TWindowStyle style_;
  TScrollInfo horz_;
  TScrollInfo vert_;
  QSize client_;
  double wheel_factor_ = 1.1;
  bool captured_ = false;
  // Set while the size is brought up to date inside a paint, which draws everything
  // anyway: the repaint the resize asks for would only repeat it.
  bool syncing_in_paint_ = false;
};

}  // namespace platform
