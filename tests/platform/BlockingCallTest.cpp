// The painting wait's worker: where the call runs, what keeps running meanwhile, and the worker
// thread's life with its owner.
#include "platform/BlockingCall.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

namespace kestrion::platform {
namespace {

// Threads of this process: a worker that is not joined stays in the list.
qsizetype threadCount() {
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

TEST(BlockingCall, RunsOnTheWorkerWhileTheCallersTimersFire) {
    BlockingCallWorker worker;
    std::promise<void> timerFired;
    QTimer::singleShot(0, [&] { timerFired.set_value(); });
    std::thread::id ranOn;
    // The call ends only once the caller's event loop has delivered the timer.
    runWhilePainting(worker, [&] {
        ranOn = std::this_thread::get_id();
        timerFired.get_future().wait();
    });
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(BlockingCall, AFailureOfTheCallReachesTheCaller) {
    BlockingCallWorker worker;
    EXPECT_THROW(runWhilePainting(worker, [] { throw std::runtime_error("lookup failed"); }),
                 std::runtime_error);
}

TEST(BlockingCall, TheWorkerThreadEndsWithItsOwner) {
    struct Row {
        const char* name;
        int calls;
    };
    for (const Row& row : {Row{"never used", 0}, Row{"idle after calls", 3}}) {
        const qsizetype before = threadCount();
        {
            BlockingCallWorker worker;
            EXPECT_EQ(threadCount(), before + 1) << row.name;
            for (int i = 0; i < row.calls; ++i)
                runWhilePainting(worker, [] {});
        }
        EXPECT_EQ(threadCount(), before) << row.name;
    }
}

TEST(BlockingCall, AnOwnerEndingDuringACallWaitsForTheCallAndTheWaitReturns) {
    const qsizetype before = threadCount();
    std::optional<BlockingCallWorker> worker(std::in_place);
    std::promise<void> release;
    std::atomic<bool> finished{false};
    bool finishedWhenDestroyed = false;
    // Inside the wait's event loop: the owner ends while the call is still running.
    QTimer::singleShot(0, [&] {
        release.set_value();
        worker.reset();
        finishedWhenDestroyed = finished;
    });
    runWhilePainting(*worker, [&] {
        release.get_future().wait();
        // Still busy when the owner's destructor starts (an echo wait in the program).
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        finished = true;
    });
    EXPECT_TRUE(finishedWhenDestroyed) << "the destructor joined before the call was done";
    EXPECT_FALSE(worker.has_value());
    EXPECT_EQ(threadCount(), before);
}

} // namespace
} // namespace kestrion::platform

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
