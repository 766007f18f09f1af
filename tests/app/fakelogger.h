// Scripted stand-ins for what the program reads from the logger: its registry key, its
// database and its windows (a QSO-entry window with the panel places the link reads).
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loggerhost.h"

namespace orvane {

using THandle = platform::TWindowLookup::THandle;

// ---- start-up fakes: every call lands in one log, so the order can be checked --------

class TFakeRegistry final : public platform::TLoggerRegistry {
 public:
  explicit TFakeRegistry(std::vector<std::string>& Log) : FLog(Log) {}
  bool CanOpen = true;
  bool Unanswered = false;  // the logger is busy: calls get no answer
  std::map<std::string, std::string> Values;

  bool LastCallUnanswered() const noexcept override { return Unanswered; }

  bool OpenKey(std::string_view Key, bool CanCreate) override {
    FLog.push_back("OpenKey " + std::string(Key) + (CanCreate ? " create" : ""));
    return CanOpen;
  }
  std::optional<std::string> ReadString(std::string_view Name) override {
    FLog.push_back("ReadString " + std::string(Name));
    const auto It = Values.find(std::string(Name));
    if (It == Values.end()) return std::nullopt;
    return It->second;
  }
  void CloseKey() noexcept override { FLog.push_back("CloseKey"); }

 private:
  std::vector<std::string>& FLog;
};

class TFakeDatabase final : public platform::TLoggerDatabase {
 public:
  explicit TFakeDatabase(std::vector<std::string>& Log) : FLog(Log) {}
  std::optional<TStoredPosition> Row = TStoredPosition{-13.4, 52.5};
  std::string FailIn;  // "Open", "CheckTable" or "QueryPosition"
  bool IsOpen = false;

  void Close() noexcept override {
    FLog.push_back("Db.Close");
    IsOpen = false;
  }
  void Open(const std::string& FileName) override {
    FLog.push_back("Db.Open " + FileName);
    Fail("Open");
    IsOpen = true;
  }
  void CheckTable(std::string_view Table) override {
    FLog.push_back("Db.CheckTable " + std::string(Table));
    Fail("CheckTable");
  }
  std::optional<TStoredPosition> QueryPosition(const std::string& Sql) override {
    FLog.push_back("Db.Query " + Sql);
    Fail("QueryPosition");
    return Row;
  }

 private:
  void Fail(const std::string& Where) const {
    if (FailIn == Where) throw std::runtime_error(Where + " failed");
  }
  std::vector<std::string>& FLog;
};

// ---- the window tree --------------------------------------------------------------

class TFakeWindows final : public platform::TWindowLookup {
 public:
  struct TWindow {
    std::string Class;
    std::string Text;
    THandle Parent = 0;
    std::vector<THandle> Children;
    bool Hung = false;  // does not answer: lookups miss it, reads fail
  };

  THandle Add(THandle Parent, std::string Class, std::string Text = "") {
    const THandle h = ++FLast;
    FWindows[h] = TWindow{std::move(Class), std::move(Text), Parent, {}, false};
    if (Parent != 0) FWindows.at(Parent).Children.push_back(h);
    return h;
  }
  TWindow& operator[](THandle h) { return FWindows.at(h); }
  void Remove(THandle h) { FWindows.at(h).Hung = true; }

  std::vector<std::size_t> BufferSizes;
  int ChildLookups = 0;
  // The whole logger is busy: every call gets no answer in time.
  bool Busy = false;

  bool LastCallUnanswered() const noexcept override { return Busy; }

  THandle FindTopLevel(std::string_view ClassName) override {
    if (Busy) return 0;
    for (const auto& [h, w] : FWindows)
      if (w.Parent == 0 && w.Class == ClassName && !w.Hung) return h;
    return 0;
  }
  std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override {
    ++ChildLookups;
    std::vector<THandle> Result;
    if (Busy) return Result;
    const auto It = FWindows.find(Parent);
    if (It == FWindows.end() || It->second.Hung) return Result;
    for (const THandle c : It->second.Children)
      if (FWindows.at(c).Class == ClassName) Result.push_back(c);
    return Result;
  }
  // Hands back the whole text whatever the buffer: the link must keep to its own limit.
  std::optional<std::string> WindowText(THandle Window, std::size_t BufferSize) override {
    BufferSizes.push_back(BufferSize);
    if (Busy) return std::nullopt;
    const auto It = FWindows.find(Window);
    if (It == FWindows.end() || It->second.Hung) return std::nullopt;
    return It->second.Text;
  }

 private:
  std::map<THandle, TWindow> FWindows;
  THandle FLast = 0;
};

// The QSO-entry window with two panels of four panels each. Other controls sit between
// the panels, so only the panels count for "the n-th panel".
struct QsoWindow {
  TFakeWindows Windows;
  THandle Q = 0;
  THandle Panel[2][4] = {};

  QsoWindow() {
    Windows.Add(0, "TfmMain", "Logger");
    Q = Windows.Add(0, "TfmEditNewQso", "New QSO");
    for (int o = 0; o < 2; ++o) {
      Windows.Add(Q, "TLabel", "label");
      const THandle Outer = Windows.Add(Q, "TPanel");
      for (int i = 0; i < 4; ++i) {
        Windows.Add(Outer, "TButton");
        Panel[o][i] = Windows.Add(Outer, "TPanel");
      }
    }
  }
  // Azimuth and callsign controls of a place, each after a decoy of another class.
  void Fill(THandle P, const std::string& Azimut, const std::string& Call) {
    Windows.Add(P, "TLabel", "decoy");
    Windows.Add(P, "TEdit", Azimut);
    Windows.Add(P, "TEdit", "second edit");
    Windows.Add(P, "TdxButtonEdit", Call);
  }
  // Locator edits of a place: Count "TdxEdit" children, the k-th with text "L<k>".
  void Locators(THandle P, int Count) {
    for (int k = 1; k <= Count; ++k) {
      std::string text(1, 'L');
      text += std::to_string(k);
      Windows.Add(P, "TdxEdit", text);
    }
  }
};

}  // namespace orvane
