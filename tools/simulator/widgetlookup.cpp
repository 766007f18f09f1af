#include "tools/simulator/widgetlookup.h"

#include <QApplication>
#include <QLineEdit>
#include <QVariant>
#include <algorithm>
#include <utility>

namespace orvane::sim {

namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return r;
}

bool HasClass(const QObject& Object, std::string_view ClassName) {
  const QVariant Value = Object.property(kWindowClassProperty);
  return Value.isValid() && Value.toString().toStdString() == ClassName;
}

// At most MaxChars characters (code points) of Text, up to its first null: what a read into
// a buffer of MaxChars + 1 characters gets.
}  // namespace

void SetWindowClass(QWidget& Widget, const char* ClassName) {
  Widget.setProperty(kWindowClassProperty, QString::fromLatin1(ClassName));
}

QString WindowClassOf(const QObject& Object) {
  return Object.property(kWindowClassProperty).toString();
}

TWidgetWindowLookup::THandle TWidgetWindowLookup::HandleOf(QWidget* Widget) {
  if (!Widget) return 0;
  if (const auto Known = FHandles.find(Widget); Known != FHandles.end()) {
    const auto Entry = FWidgets.find(Known->second);
    if (Entry != FWidgets.end() && Entry->second.Widget == Widget) return Known->second;
    // The widget that had this address is gone; this is a new one.
    if (Entry != FWidgets.end()) FWidgets.erase(Entry);
    FHandles.erase(Known);
  }
  if (FWidgets.size() >= FSweepAt) DropDead();
  const THandle Handle = FNext++;
  FWidgets.emplace(Handle, TEntry{QPointer<QWidget>(Widget), Widget});
  FHandles.emplace(Widget, Handle);
  return Handle;
}

QWidget* TWidgetWindowLookup::WidgetOf(THandle Handle) const {
  const auto Entry = FWidgets.find(Handle);
  return Entry == FWidgets.end() ? nullptr : Entry->second.Widget.data();
}

void TWidgetWindowLookup::DropDead() {
  for (auto It = FWidgets.begin(); It != FWidgets.end();) {
    if (It->second.Widget.isNull()) {
      // The address may already belong to a newer widget's handle; drop only our own.
      const auto Address = FHandles.find(It->second.Address);
      if (Address != FHandles.end() && Address->second == It->first) FHandles.erase(Address);
      It = FWidgets.erase(It);
    } else {
      ++It;
    }
  }
  FSweepAt = std::max<std::size_t>(256, 2 * FWidgets.size());
}

TWidgetWindowLookup::THandle TWidgetWindowLookup::FindTopLevel(std::string_view ClassName) {
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    if (Window->isVisible() && HasClass(*Window, ClassName)) return HandleOf(Window);
  }
  return 0;
}

std::vector<TWidgetWindowLookup::THandle> TWidgetWindowLookup::Children(
    THandle Parent, std::string_view ClassName) {
  std::vector<THandle> Result;
  const QWidget* Widget = WidgetOf(Parent);
  if (!Widget) return Result;
  for (QObject* Child : Widget->children()) {
    auto* ChildWidget = qobject_cast<QWidget*>(Child);
    if (ChildWidget && HasClass(*ChildWidget, ClassName)) Result.push_back(HandleOf(ChildWidget));
  }
  return Result;
}

std::optional<std::string> TWidgetWindowLookup::WindowText(THandle Window, std::size_t BufferSize) {
  const QWidget* Widget = WidgetOf(Window);
  if (!Widget) return std::nullopt;
  if (BufferSize == 0) return std::string();
  const auto* Edit = qobject_cast<const QLineEdit*>(Widget);
  const QString Text = Edit ? Edit->text() : Widget->windowTitle();
  return platform::LimitText(Text.toStdString(), BufferSize - 1);
}

TSimulatorRegistry::TSimulatorRegistry(std::string InstallPath) {
  FKeys[Lower("Software\\Tovrin_Log3")][Lower("InstallPath")] = std::move(InstallPath);
}

bool TSimulatorRegistry::OpenKey(std::string_view Key, bool CanCreate) {
  FOpen = nullptr;
  if (Key.empty() || Key.size() > MaxKeyNameLength) return false;
  const std::string Name = Lower(Key);
  auto It = FKeys.find(Name);
  if (It == FKeys.end()) {
    if (!CanCreate || FKeys.size() >= MaxKeys) return false;
    It = FKeys.emplace(Name, TValues{}).first;
  }
  FOpen = &It->second;
  return true;
}

std::optional<std::string> TSimulatorRegistry::ReadString(std::string_view Name) {
  if (!FOpen) return std::nullopt;
  const auto It = FOpen->find(Lower(Name));
  if (It == FOpen->end()) return std::nullopt;
  return It->second;
}

void TSimulatorRegistry::CloseKey() noexcept { FOpen = nullptr; }

}  // namespace orvane::sim
