#pragma once

#include <QStatusBar>

class QLabel;

namespace kestrion::app {

// The status bar `sbStatus` with its two panels: 1 the current activity, 2 the next schedule.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    QString panel(int index) const;
    void setPanel(int index, const QString& text);
    // Sets the text and repaints at once, also while no event loop runs.
    void setPanelAndRepaint(int index, const QString& text);

private:
    QLabel* panels_[2];
};

} // namespace kestrion::app
