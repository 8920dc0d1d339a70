// A click of the window system that arrives while an echo waits is held back and acted on at the
// sweep's yield for that address, exactly as if the user had clicked just then. The click is injected
// where the platform puts real mouse input, so it takes the same way a real click takes.
#include "tests/support/Harness.h"

#include <QTimer>
#include <qpa/qwindowsysteminterface.h>

#include <atomic>

namespace kestrion::test {
namespace {

void clickThroughTheWindowSystem(QWidget* top, QWidget* target) {
    QWindow* window = top->windowHandle();
    ASSERT_NE(window, nullptr);
    const QPointF local = target->mapTo(top, target->rect().center());
    const QPointF global = top->mapToGlobal(local);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}

TEST(ClickDuringWait, CancelActsAtTheYieldOfTheAddressThatWasWaiting) {
    Harness h;
    h.world.echo.waitMs = 300;
    std::atomic<int> waiting{0}; // 1 from the first echo's start until it ends
    h.world.echo.onClosed = [&](uint32_t) { waiting = 0; };

    QPushButton* cancel = h.button("cmdCancelPing");
    int handled = 0;
    bool handledWhileWaiting = false;
    size_t sentWhenHandled = 0;
    QObject::connect(cancel, &QPushButton::clicked, [&] {
        ++handled;
        handledWhileWaiting = waiting.load() != 0;
        sentWhenHandled = h.world.echo.sent.size();
    });
    // A timer is not user input: it fires inside the wait of the first echo, which lasts 300 ms.
    QTimer::singleShot(100, [&] {
        ASSERT_TRUE(cancel->isEnabled()) << "the sweep must be under way";
        waiting = 1;
        clickThroughTheWindowSystem(h.window.get(), cancel);
    });

    h.setRange("10", "1", "2", "1", "5");
    h.ping();

    EXPECT_EQ(handled, 1);
    EXPECT_FALSE(handledWhileWaiting) << "the click was acted on while the echo still waited";
    EXPECT_EQ(sentWhenHandled, 1u);
    EXPECT_EQ(h.sentTo(), std::vector<uint32_t>{FakeEcho::value("10.1.2.1")})
        << "stopped before the next address";
    EXPECT_EQ(h.panel1(), "Cancelled.");
    ASSERT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.world.boxes.last().text, "Pinging Cancelled. \rClick Reset to clear results.");
}

} // namespace
} // namespace kestrion::test
