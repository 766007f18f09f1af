#include "app/loggerthread.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>

namespace orvane {

namespace {

// Set when the thread is ending: jobs still queued are skipped, not run.
class TWorker final : public QObject {
 public:
  std::atomic<bool> Ending{false};
};

}  // namespace

TLoggerThread::TLoggerThread() : FThread(std::make_unique<QThread>()) {
  FThread->setObjectName(QStringLiteral("Logger"));
  FWorker = std::make_unique<TWorker>();
  FWorker->moveToThread(FThread.get());
  FThread->start();
}

TLoggerThread::~TLoggerThread() {
  auto* Worker = static_cast<TWorker*>(FWorker.get());
  Worker->Ending = true;
  // Queued after every job: it runs once the job under way is over.
  QMetaObject::invokeMethod(
      Worker,
      [this, Worker] {
        if (FLast) FLast();
        // The worker was made on the window's thread; it must end where it lives.
        Worker->moveToThread(nullptr);
        QThread::currentThread()->quit();
      },
      Qt::QueuedConnection);
  FThread->wait();
  FWorker.reset();
}

void TLoggerThread::Post(std::function<void()> Work, QObject* Context,
                         std::function<void()> Done) {
  auto* Worker = static_cast<TWorker*>(FWorker.get());
  ++*FPending;
  // Only the window's thread touches the count: Done decrements it there.
  QMetaObject::invokeMethod(
      Worker,
      [Worker, Work = std::move(Work), Context, Done = std::move(Done), Pending = FPending] {
        if (Worker->Ending) return;
        Work();
        // The owner of this thread ends it before Context goes, so Context lives while a job
        // runs; a call posted to it is dropped when Context is destroyed before it arrives.
        QMetaObject::invokeMethod(
            Context,
            [Done, Pending] {
              --*Pending;
              Done();
            },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}

}  // namespace orvane
