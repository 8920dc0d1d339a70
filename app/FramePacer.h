#pragma once

#include <QElapsedTimer>
#include <QObject>

class QTimer;
class QWidget;

namespace kestrion::sweep {
class SweepSession;
}

namespace kestrion::app {

// While a sweep runs, the window paints at most once a frame. A sweep changes the status bar, the grid
// and the lists for every address, often faster than a screen shows frames; painting each change would
// cost more than the echo itself. What is left unpainted stays marked dirty and is painted with the
// next frame.
class FramePacer final : public QObject {
    Q_OBJECT
public:
    FramePacer(QWidget& window, const sweep::SweepSession& session);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    const sweep::SweepSession& session_;
    QElapsedTimer lastPaint_;
    QTimer* deferredPaint_;
};

} // namespace kestrion::app
