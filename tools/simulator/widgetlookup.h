// The simulator's side of the logger-host service: its own widgets found by window class,
// and the logger's registry key.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/loggerhost.h"

namespace orvane::sim {

/// The dynamic property that carries a widget's window class ("TPanel", "TEdit", ...).
inline constexpr char kWindowClassProperty[] = "windowClass";

void SetWindowClass(QWidget& Widget, const char* ClassName);
[[nodiscard]] QString WindowClassOf(const QObject& Object);

/// platform::TWindowLookup over this process's widgets. Must be used on the GUI thread.
///
/// Handles are assigned on first sight and stay the same while the widget lives; a widget
/// destroyed and another made at the same address get different handles. Top-level
/// windows are looked for among the visible top-level widgets, children among the direct
/// children of a widget in QObject child order. A window's text is a line edit's text, else
/// its title.
class TWidgetWindowLookup final : public platform::TWindowLookup {
 public:
  [[nodiscard]] THandle FindTopLevel(std::string_view ClassName) override;
  [[nodiscard]] std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override;
  [[nodiscard]] std::optional<std::string> WindowText(THandle Window,
                                                      std::size_t BufferSize) override;

  /// The handle of a widget (assigned now if it has none); 0 for null.
  [[nodiscard]] THandle HandleOf(QWidget* Widget);
  /// The live widget of a handle; null when it is gone or was never assigned.
  [[nodiscard]] QWidget* WidgetOf(THandle Handle) const;

 private:
  void DropDead();

  struct TEntry {
    QPointer<QWidget> Widget;  // null once the widget is destroyed
    const QWidget* Address;    // its key in FHandles
  };
  std::unordered_map<THandle, TEntry> FWidgets;
  std::unordered_map<const QWidget*, THandle> FHandles;
  THandle FNext = 1;
  std::size_t FSweepAt = 256;  // entries before the dead ones are dropped again
};

/// The current user's registry as the simulated logger sets it up: the key
/// "Software\Tovrin_Log3" with the string "InstallPath"; other keys exist once a client
/// creates them and hold no values. Key and value names compare without ASCII case, as the
/// registry does. Created keys are bounded in number and name length, so that a client
/// cannot make the simulator grow without end.
class TSimulatorRegistry final : public platform::TLoggerRegistry {
 public:
  static constexpr std::size_t MaxKeys = 256;
  static constexpr std::size_t MaxKeyNameLength = 255;

  explicit TSimulatorRegistry(std::string InstallPath);

  bool OpenKey(std::string_view Key, bool CanCreate) override;
  [[nodiscard]] std::optional<std::string> ReadString(std::string_view Name) override;
  void CloseKey() noexcept override;

 private:
  using TValues = std::map<std::string, std::string>;  // by lower-case name
  std::map<std::string, TValues> FKeys;                // by lower-case path
  const TValues* FOpen = nullptr;
};

}  // namespace orvane::sim
