// The window that hosts a globe view, as the view sees it: the few things the view asks of
// its window (repaint, mouse capture, scroll bars, window style, printing), and the value
// types of the input the window forwards to the view.
//
// The host calls the view's message handlers (paint, resize, mouse, scroll); the view calls
// back through this interface. A Qt widget implements it for the program, a scripted host
// for the tests.
#pragma once

#include <cstdint>

namespace platform {

/// Mouse buttons, in the order left, right, middle.
enum class TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

/// The modifier keys down during a mouse event, and whether the event belongs to a double
/// click.
struct TShiftState {
  bool Shift = false;
  bool Alt = false;
  bool Ctrl = false;
  bool Double = false;
  /// True when any of the four is set.
  [[nodiscard]] constexpr bool Any() const noexcept { return Shift || Alt || Ctrl || Double; }
  friend constexpr bool operator==(const TShiftState&, const TShiftState&) = default;
};

enum class TScrollBarKind : std::uint8_t { sbHorizontal, sbVertical };

/// What the user did to a scroll bar: one line or one page towards the start (up, left) or
/// the end (down, right), dragging the thumb, releasing it at a position, jumping to an
/// end, ending a scroll.
enum class TScrollCode : std::uint8_t {
  scLineUp,
  scLineDown,
  scPageUp,
  scPageDown,
  scThumbPosition,
  scThumbTrack,
  scTop,
  scBottom,
  scEndScroll,
};

/// The state of one scroll bar. Positions run from Min to Max; Page is the visible part of
/// that range; TrackPosition is where the thumb is while it is dragged. A bar that cannot
/// scroll is shown disabled rather than hidden.
struct TScrollInfo {
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  std::int32_t Page = 0;
  std::int32_t Position = 0;
  std::int32_t TrackPosition = 0;
  bool Enabled = false;
  friend constexpr bool operator==(const TScrollInfo&, const TScrollInfo&) = default;
};

/// The window style that the view asks for: which scroll bars the window has and whether
/// its background is transparent.
struct TWindowStyle {
  bool HorzScrollBar = false;
  bool VertScrollBar = false;
  bool TransparentBackground = false;
  friend constexpr bool operator==(const TWindowStyle&, const TWindowStyle&) = default;
};

class TWindowHost {
 public:
  virtual ~TWindowHost() = default;

  /// Asks for a paint of the whole window soon; never paints at once.
  virtual void Invalidate() = 0;
  /// Sends every mouse event to this window until released, also from outside it.
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  /// The bar's current state (its track position included while the thumb is dragged).
  [[nodiscard]] virtual TScrollInfo ScrollBar(TScrollBarKind Kind) const = 0;
  /// Sets range, page, position and enabled state; the track position is ignored. The
  /// window's own bars only: a bar the window style does not include is not shown.
  virtual void SetScrollBar(TScrollBarKind Kind, const TScrollInfo& Info) = 0;
  /// Re-creates (or re-styles) the window with Style: the view asks for this when its
  /// scroll style or its transparent background option changes.
  virtual void RecreateWindow(const TWindowStyle& Style) = 0;
  /// True while a print job of this window's program is being printed; the view does not
  /// paint then.
  [[nodiscard]] virtual bool Printing() const = 0;
};

}  // namespace platform
