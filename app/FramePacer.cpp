#include "app/FramePacer.h"

#include "sweep/SweepSession.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace kestrion::app {

namespace {
constexpr int kFrameMs = 16;
}

FramePacer::FramePacer(QWidget& window, const sweep::SweepSession& session)
    : QObject(&window), window_(window), session_(session), deferredPaint_(new QTimer(this)) {
    deferredPaint_->setSingleShot(true);
    connect(deferredPaint_, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(&window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    window_.installEventFilter(this);
}

bool FramePacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::UpdateRequest && session_.isRunning()) {
        if (lastPaint_.isValid() && lastPaint_.elapsed() < kFrameMs) {
            if (!deferredPaint_->isActive())
                deferredPaint_->start(kFrameMs - static_cast<int>(lastPaint_.elapsed()));
            return true;
        }
        lastPaint_.restart();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kestrion::app
