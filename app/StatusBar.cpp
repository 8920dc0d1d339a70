#include "app/StatusBar.h"

#include <QPainter>

namespace kestrion::app {

StatusPanel::StatusPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setContentsMargins(4, 0, 4, 0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void StatusPanel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    setAccessibleName(text_);
    update();
}

QSize StatusPanel::sizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().averageCharWidth() * 20 + m.left() + m.right() + 2 * frameWidth(),
            fontMetrics().height() + m.top() + m.bottom() + 2 * frameWidth()};
}

QSize StatusPanel::minimumSizeHint() const {
    return {2 * frameWidth(), sizeHint().height()};
}

void StatusPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text_, Qt::ElideRight, area.width()));
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("sbStatus"));
    setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        panels_[i] = new StatusPanel(this);
        panels_[i]->setObjectName(QStringLiteral("sbStatus.Panel(%1)").arg(i + 1));
    }
    addWidget(panels_[0], 3);
    addWidget(panels_[1], 2);
}

QString StatusBar::panel(int index) const {
    return panels_[index - 1]->text();
}

void StatusBar::setPanel(int index, const QString& text) {
    panels_[index - 1]->setText(text);
}

void StatusBar::setPanelAndRepaint(int index, const QString& text) {
    setPanel(index, text);
    repaint();
}

} // namespace kestrion::app
