#include "platform/BlockingCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace kestrion::platform {

BlockingCallWorker::BlockingCallWorker() : thread_([this] { loop(); }) {}

BlockingCallWorker::~BlockingCallWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void BlockingCallWorker::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void BlockingCallWorker::loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void runWhilePainting(BlockingCallWorker& worker, const std::function<void()>& call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        call();
        return;
    }
    QEventLoop loop;
    std::exception_ptr failure;
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    worker.post([&] {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued: delivered inside loop.exec() below, even when the call finished before it started.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // Once the application has been told to exit, exec() returns at once; the call still uses this
    // frame, so wait for it without painting.
    {
        std::unique_lock lock(doneMutex);
        doneSignal.wait(lock, [&] { return done; });
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace kestrion::platform
