#include "app/StatusBar.h"

#include <QLabel>

namespace kestrion::app {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("sbStatus"));
    setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setObjectName(QStringLiteral("sbStatus.Panel(%1)").arg(i + 1));
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panels_[i]->setContentsMargins(4, 0, 4, 0);
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
