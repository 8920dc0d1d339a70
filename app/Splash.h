#pragma once

#include <QWidget>

class QFrame;
class QLabel;

namespace kestrion::app {

// frmSplash: shown while the main window loads. A key press in it or a click on Frame1 closes it.
class Splash : public QWidget {
    Q_OBJECT
public:
    explicit Splash(QWidget* parent = nullptr);

    QFrame* Frame1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblWarning = nullptr;
    QLabel* lblCompanyProduct = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kestrion::app
