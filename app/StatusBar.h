#pragma once

#include <QFrame>
#include <QStatusBar>

namespace kestrion::app {

// One panel of the status bar: a sunken frame with one line of text. Its size does not depend on its
// text, so a new text only repaints the panel (at the next frame) and never lays the bar out again:
// the sweep sets it once per address.
class StatusPanel final : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    explicit StatusPanel(QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

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
    StatusPanel* panels_[2];
};

} // namespace kestrion::app
