// Scripted registry and window lookup for the logger host tests, and a thread with its own
// event loop for the server side (the client blocks the test's thread).
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/loggerhost.h"

namespace hosttest {

using THandle = platform::TWindowLookup::THandle;

// A handle above 2^53, which a JSON double cannot hold exactly.
inline constexpr THandle kBigHandle = 0xFFFF'FFFF'FFFF'FFF1ULL;

class TFakeRegistry final : public platform::TLoggerRegistry {
 public:
  std::map<std::string, std::map<std::string, std::string>> Keys;
  std::optional<std::string> Open;
  int Opens = 0;
  int Closes = 0;

  bool OpenKey(std::string_view Key, bool CanCreate) override {
    ++Opens;
    const std::string Name(Key);
    if (!Keys.count(Name) && !CanCreate) return false;
    Keys[Name];
    Open = Name;
    return true;
  }
  std::optional<std::string> ReadString(std::string_view Name) override {
    if (!Open) return std::nullopt;
    const auto& Values = Keys[*Open];
    const auto Found = Values.find(std::string(Name));
    if (Found == Values.end()) return std::nullopt;
    return Found->second;
  }
  void CloseKey() noexcept override {
    ++Closes;
    Open.reset();
  }
};

class TFakeWindows final : public platform::TWindowLookup {
 public:
  std::map<std::string, THandle> TopLevels;
  std::map<std::pair<THandle, std::string>, std::vector<THandle>> Kids;
  std::map<THandle, std::string> Texts;
  std::size_t LastBufferSize = 0;
  bool Throw = false;

  // While hung, FindTopLevel blocks the server's thread: a logger that does not answer.
  void Hang() {
    std::lock_guard Lock(FMutex);
    FHung = true;
  }
  void Release() {
    {
      std::lock_guard Lock(FMutex);
      FHung = false;
    }
    FChanged.notify_all();
  }

  THandle FindTopLevel(std::string_view ClassName) override {
    {
      std::unique_lock Lock(FMutex);
      FChanged.wait(Lock, [this] { return !FHung; });
    }
    if (Throw) throw std::runtime_error("lookup failed");
    const auto Found = TopLevels.find(std::string(ClassName));
    return Found == TopLevels.end() ? 0 : Found->second;
  }
  std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override {
    const auto Found = Kids.find({Parent, std::string(ClassName)});
    return Found == Kids.end() ? std::vector<THandle>{} : Found->second;
  }
  std::optional<std::string> WindowText(THandle Window, std::size_t BufferSize) override {
    LastBufferSize = BufferSize;
    const auto Found = Texts.find(Window);
    if (Found == Texts.end()) return std::nullopt;
    return Found->second;  // whole: the server must cut it to the buffer
  }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FHung = false;
};

// Runs functions on a thread of its own with an event loop, waiting for each.
class TServerThread {
 public:
  TServerThread() {
    FContext.moveToThread(&FThread);
    FThread.start();
  }
  ~TServerThread() {
    FThread.quit();
    FThread.wait();
  }
  void Run(const std::function<void()>& Work) {
    QMetaObject::invokeMethod(&FContext, Work, Qt::BlockingQueuedConnection);
  }

 private:
  QThread FThread;
  QObject FContext;
};

}  // namespace hosttest
