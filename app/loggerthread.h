// The logger's own thread: every request to the logger (its registry, database and windows)
// waits for another program that may be slow, busy or gone, so none of them may run on the
// window's thread. Jobs run there one at a time, in the order posted; what a job brings back
// is handed to the window's thread afterwards.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QThread;

namespace orvane {

/// The logger as the program reaches it when the window must not wait for it: Connect runs
/// first on the logger's thread (finding the logger may start Wine and wait for it), and
/// Disconnect last, on the same thread, so that what Connect made there ends there.
class TLoggerConnection {
 public:
  TLoggerConnection() = default;
  TLoggerConnection(const TLoggerConnection&) = delete;
  TLoggerConnection& operator=(const TLoggerConnection&) = delete;
  virtual ~TLoggerConnection() = default;

  /// Finds the logger and makes the registry, database, window lookup and paths of this
  /// connection answer for it. Empty when it was found; else why not, for the operator.
  [[nodiscard]] virtual QString Connect() = 0;
  /// Lets go of the logger (ends a bridge it started).
  virtual void Disconnect() noexcept = 0;
};

/// A thread that runs jobs for the window. Use it from the window's thread only.
class TLoggerThread {
 public:
  TLoggerThread();
  /// Waits for the job running (requests are bounded by their time limits), drops the
  /// jobs not started, runs Last there if given, and ends the thread.
  ~TLoggerThread();
  TLoggerThread(const TLoggerThread&) = delete;
  TLoggerThread& operator=(const TLoggerThread&) = delete;

  /// Runs Work on the logger's thread, then Done on Context's thread, unless Context has
  /// been destroyed by then. Context lives on the thread calling Post and outlives this.
  void Post(std::function<void()> Work, QObject* Context, std::function<void()> Done);
  /// What runs on the logger's thread when it ends (after the last job).
  void SetLast(std::function<void()> Last) { FLast = std::move(Last); }
  /// Jobs posted whose Done has not yet run.
  [[nodiscard]] int Pending() const noexcept { return *FPending; }

 private:
  std::unique_ptr<QThread> FThread;
  std::unique_ptr<QObject> FWorker;  // lives on FThread, receives the jobs
  std::shared_ptr<int> FPending = std::make_shared<int>(0);
  std::function<void()> FLast;
};

}  // namespace orvane
