// The compass window: a rose with the beam heading towards the station being logged, taken
// from the azimuth text the logger shows ("<short path>/<long path>").
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/locator.h"
#include "app/settings.h"
#include "platform/device.h"

class QCloseEvent;
class QResizeEvent;
class QShowEvent;

namespace orvane {

/// The text before the first "/" of Azimuth; empty when there is no "/".
[[nodiscard]] QString AzimuthHead(const QString& Azimuth);

/// The short-path bearing in degrees: the integer before the first "/". Leading blanks and
/// a sign are accepted; no "/", an empty or non-numeric head, trailing characters and values
/// outside 32 bits throw EConvertError.
[[nodiscard]] std::int32_t ParseAzimuth(const QString& Azimuth);

/// Draws the compass picture on Device for a drawing area of Width × Height pixels: the
/// background, the dial with its ticks and rotated labels, then, unless Azimuth is empty,
/// the needle. Returns the window title the picture asks for ("Az - " and the text before
/// the first "/"), or nothing when Azimuth is empty. A bad azimuth throws EConvertError
/// once the rose and labels are drawn, before the needle.
[[nodiscard]] std::optional<QString> PaintCompass(platform::TDevice& Device, std::int32_t Width,
                                                  std::int32_t Height, const QString& Azimuth);

/// The compass window. A close only hides it. Geometry is the outer (frame) rectangle, as
/// the settings file stores it.
class TfCompass : public QWidget {
 public:
  explicit TfCompass(QWidget* Parent = nullptr);
  ~TfCompass() override;
  TfCompass(const TfCompass&) = delete;
  TfCompass& operator=(const TfCompass&) = delete;

  /// Where the paint reads the azimuth text (the main window's azimuth field); none draws
  /// the rose only.
  void SetAzimuthSource(std::function<QString()> Source);
  /// Called on every close, before the window hides, so that its geometry can be saved.
  std::function<void(const TfCompass&)> OnClose;
  /// Receives the message of a paint error (errors must not unwind through Qt). When empty,
  /// the error is shown in a message box once the paint is over. The same bad azimuth is
  /// reported once, not on every repaint.
  std::function<void(const std::string& Message)> OnError;

  /// The outer geometry, as the settings file stores it.
  [[nodiscard]] TWindowGeometry Geometry() const {
    return {WindowTop(), WindowLeft(), WindowHeight(), WindowWidth()};
  }
  [[nodiscard]] int WindowTop() const;
  [[nodiscard]] int WindowLeft() const;
  [[nodiscard]] int WindowHeight() const;
  [[nodiscard]] int WindowWidth() const;
  /// Moves and sizes the outer window; the size is kept within the window's limits.
  void SetWindowBounds(int Left, int Top, int Width, int Height);

  /// Repaints the rose (after the azimuth text changed).
  void RepaintCompass();

  /// The drawing area's size in pixels.
  [[nodiscard]] QSize CompassSize() const;

  /// Outer size limits and the design-time frame around the client area.
  static constexpr int kMinWidth = 204, kMinHeight = 232, kMaxWidth = 578, kMaxHeight = 608;
  static constexpr int kDesignFrameWidth = 276 - 264, kDesignFrameHeight = 297 - 262;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  class TCompassArea;
  friend class TCompassArea;
  /// Paints the drawing area; errors are reported, not thrown.
  void CompassPaint(QWidget& Area);
  void Report(const std::string& Message);
  /// The frame's extra width and height: the platform's once it has framed the window,
  /// the design's before.
  [[nodiscard]] QSize FrameExtra() const;

  TCompassArea* compass_;  // owned by Qt as a child
  std::function<QString()> source_;
  // The bad azimuth text last reported, so that repaints do not repeat the report.
  std::optional<QString> reported_;
  TFrameFit* frame_fit_;  // owned by the window as its child
};

}  // namespace orvane
