#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kestrion::app {

// The Options tab's controls.
class OptionsTab : public QWidget {
    Q_OBJECT
public:
    explicit OptionsTab(QWidget* parent = nullptr);

    QGroupBox* fraTimeout = nullptr;
    QRadioButton* optTimeout[4] = {};
    QLabel* Label8[2] = {};
    QGroupBox* fraPacketSize = nullptr;
    QRadioButton* optPacket[3] = {};
    QLabel* Label7 = nullptr;
    QCheckBox* chkStartWLocalAddr = nullptr;
    // An addition to the tab's original controls: the parallel prober, off by default.
    QCheckBox* chkParallelSweep = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdExit1 = nullptr; // cmdExit(1)
};

} // namespace kestrion::app
