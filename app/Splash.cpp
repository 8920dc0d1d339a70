#include "app/Splash.h"

#include "Version.h"
#include "platform/AppTitle.h"
#include "platform/Twips.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace kestrion::app {

using platform::twipRect;

namespace {
// A small kestrel-coloured emblem drawn at run time, so no picture file has to ship.
QPixmap emblem(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0xB5, 0x65, 0x1D));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0, 0, size, size));
    painter.setBrush(QColor(0x2E, 0x3A, 0x4F));
    const QPointF wing[3] = {
        {size * 0.15, size * 0.55}, {size * 0.85, size * 0.30}, {size * 0.55, size * 0.75}};
    painter.drawPolygon(wing, 3);
    return pixmap;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect where, int pointSize = 0) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(where);
    l->setWordWrap(true);
    if (pointSize > 0) {
        QFont font = l->font();
        font.setPointSize(pointSize);
        font.setBold(true);
        l->setFont(font);
    }
    l->installEventFilter(parent->window());
    return l;
}
} // namespace

Splash::Splash(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(platform::twips(7380), platform::twips(4410));
    setFocusPolicy(Qt::StrongFocus);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Raised);
    Frame1->setGeometry(twipRect(150, 60, 7080, 4230));
    Frame1->installEventFilter(this);

    Image1 = new QLabel(Frame1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twipRect(360, 600, 1800, 1800));
    Image1->setPixmap(emblem(platform::twips(1800)));
    Image1->installEventFilter(this);

    lblProductName =
        label(Frame1, "lblProductName", platform::appTitle(), twipRect(2520, 600, 4200, 600), 20);
    lblVersion =
        label(Frame1, "lblVersion",
              QStringLiteral("Version %1.%2").arg(KESTRION_VERSION_MAJOR).arg(KESTRION_VERSION_MINOR),
              twipRect(2520, 1320, 4200, 360));
    lblWarning =
        label(Frame1, "lblWarning",
              QStringLiteral("Warning: this program is protected by copyright law. Sending echo "
                             "requests to networks you do not administer may be against their rules."),
              twipRect(360, 2760, 6360, 900));
    lblCompanyProduct = label(Frame1, "lblCompanyProduct", QStringLiteral("Quillfen Software"),
                              twipRect(2520, 1800, 4200, 360));
}

void Splash::keyPressEvent(QKeyEvent* /*event*/) {
    close();
}

bool Splash::eventFilter(QObject* watched, QEvent* event) {
    // The picture and the labels lie on Frame1: a click on them is a click on the frame.
    if (event->type() == QEvent::MouseButtonRelease && watched != this) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrion::app
