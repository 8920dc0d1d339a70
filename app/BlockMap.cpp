#include "app/BlockMap.h"

#include "platform/DateText.h"
#include "schedule/ChangeTexts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

namespace kestrion::app {

namespace {
// Light, middle and dark: the three fills differ in lightness (they stay apart in grey) and in hue
// along the yellow-blue axis, which red-green colour blindness leaves intact.
const QColor kFree(0xF4, 0xE2, 0x7C);
const QColor kSome(0x21, 0x91, 0x8C);
const QColor kEvery(0x2E, 0x1F, 0x66);
// A neutral grey, between the light and middle fills in lightness, for addresses the run never asked.
const QColor kNotInRange(0xA0, 0xA0, 0xA0);
const QColor kGridLine(Qt::white);
const QColor kFocus(Qt::black);
constexpr int kSpacing = 4;

// A one-pixel ring just inside `r`, drawn as four strips so that it stays crisp at every scale.
void ring(QPainter& painter, const QRect& r, const QColor& colour) {
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), colour);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), colour);
}

QFont legendFont(const QFont& base) {
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * 0.9);
    return f;
}

constexpr int kLegendEntries = 4;
const char* const kLegendWords[kLegendEntries] = {"never", "some", "every", "outside"};
const db::CellFill kLegendFills[kLegendEntries] = {db::CellFill::Free, db::CellFill::Some,
                                                   db::CellFill::Every, db::CellFill::NotInRange};
} // namespace

BlockMap::BlockMap(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("blockMap"));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Block map"));
    showNoRun();
}

QSize BlockMap::sizeHint() const {
    return {16 * 9 + 1,
            fontMetrics().height() + QFontMetrics(legendFont(font())).height() + 16 * 9 + 1 + 2 * kSpacing};
}

QColor BlockMap::fillColour(db::CellFill fill) {
    switch (fill) {
    case db::CellFill::Some:
        return kSome;
    case db::CellFill::Every:
        return kEvery;
    case db::CellFill::NotInRange:
        return kNotInRange;
    case db::CellFill::Free:
        break;
    }
    return kFree;
}

QColor BlockMap::latestSweepOutline(db::CellFill fill) {
    return fill == db::CellFill::Every ? Qt::white : Qt::black;
}

void BlockMap::showPicture(db::BlockPicture picture) {
    picture_ = std::move(picture);
    setAccessibleDescription(
        QStringLiteral("The addresses of %1.0 to %1.255 over %2 saved sweeps: %3 answered in every sweep, "
                       "%4 in some, %5 never, %6 not in this run's range. The arrow keys move from address "
                       "to address; Ctrl+C copies "
                       "the address.")
            .arg(picture_->block)
            .arg(picture_->sweeps)
            .arg(picture_->count(db::CellFill::Every))
            .arg(picture_->count(db::CellFill::Some))
            .arg(picture_->count(db::CellFill::Free))
            .arg(picture_->count(db::CellFill::NotInRange)));
    update();
}

void BlockMap::showNoRun() {
    picture_.reset();
    setAccessibleDescription(QStringLiteral("No run chosen"));
    update();
}

BlockMap::Layout BlockMap::layout() const {
    Layout l;
    const int headingHeight = fontMetrics().height();
    const int legendHeight = QFontMetrics(legendFont(font())).height();
    const int across = (width() - 1) / 16;
    const int down = (height() - headingHeight - legendHeight - 2 * kSpacing - 1) / 16;
    l.pitch = std::max(3, std::min(across, down));
    const int side = 16 * l.pitch + 1;
    const int top = headingHeight + kSpacing;
    l.heading = QRect(0, 0, width(), headingHeight);
    l.grid = QRect((width() - side) / 2, top, side, side);
    l.legend = QRect(0, l.grid.bottom() + 1 + kSpacing, width(), legendHeight);
    return l;
}

QRect BlockMap::cellRect(int octet) const {
    const Layout l = layout();
    return QRect(l.grid.left() + (octet % 16) * l.pitch + 1, l.grid.top() + (octet / 16) * l.pitch + 1,
                 l.pitch - 1, l.pitch - 1);
}

int BlockMap::cellAt(QPoint pos) const {
    const Layout l = layout();
    if (!l.grid.adjusted(1, 1, -1, -1).contains(pos))
        return -1;
    const int column = (pos.x() - l.grid.left()) / l.pitch;
    const int row = (pos.y() - l.grid.top()) / l.pitch;
    return std::clamp(row, 0, 15) * 16 + std::clamp(column, 0, 15);
}

void BlockMap::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Layout l = layout();
    if (!picture_) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(l.grid, Qt::AlignCenter, QStringLiteral("No run chosen"));
        return;
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(l.heading, Qt::AlignHCenter | Qt::AlignVCenter,
                     fontMetrics().elidedText(picture_->block + QStringLiteral(".0/24"), Qt::ElideRight,
                                              l.heading.width()));

    painter.fillRect(l.grid, kGridLine);
    for (int i = 0; i < 256; ++i) {
        const db::BlockCell& cell = picture_->cells[static_cast<size_t>(i)];
        const QRect r = cellRect(i);
        painter.fillRect(r, fillColour(cell.fill));
        if (cell.inLatestSweep)
            ring(painter, r, latestSweepOutline(cell.fill));
        if (!cell.hostAddress) {
            // A diagonal at exactly 45 degrees, without smoothing, is as sharp as the cell's edges.
            painter.setPen(QPen(cell.fill == db::CellFill::Every ? kFree : kEvery, 1));
            painter.drawLine(r.topLeft(), r.bottomRight());
        }
    }
    if (hasFocus()) {
        const QRect r = cellRect(focus_);
        ring(painter, r.adjusted(-1, -1, 1, 1), kFocus);
        ring(painter, r.adjusted(-2, -2, 2, 2), kFocus);
    }
    paintLegend(painter, l.legend);
}

void BlockMap::paintLegend(QPainter& painter, const QRect& where) const {
    QFont font = legendFont(this->font());
    const int swatch = std::min(QFontMetrics(font).ascent(), 10);
    const auto widthAt = [&](const QFont& f) {
        const QFontMetrics fm(f);
        int w = 0;
        for (const char* word : kLegendWords)
            w += swatch + 3 + fm.horizontalAdvance(QLatin1String(word));
        return w + (kLegendEntries - 1) * fm.horizontalAdvance(QStringLiteral(" "));
    };
    // The legend keeps to one line: a narrow map gets a smaller font.
    while (widthAt(font) > where.width() && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    const QFontMetrics fm(font);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    int x = where.left() + std::max(0, (where.width() - widthAt(font)) / 2);
    for (int i = 0; i < kLegendEntries; ++i) {
        const QRect box(x, where.top() + (where.height() - swatch) / 2, swatch, swatch);
        painter.fillRect(box, fillColour(kLegendFills[i]));
        ring(painter, box, palette().color(QPalette::Mid));
        x += swatch + 3;
        const QString word = QLatin1String(kLegendWords[i]);
        painter.drawText(QRect(x, where.top(), fm.horizontalAdvance(word), where.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, word);
        x += fm.horizontalAdvance(word) + fm.horizontalAdvance(QStringLiteral(" "));
    }
}

bool BlockMap::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int cell = picture_ ? cellAt(help->pos()) : -1;
        if (cell < 0) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), cellToolTip(*picture_, cell), this, cellRect(cell));
        }
        return true;
    }
    return QWidget::event(event);
}

void BlockMap::moveFocus(int octet) {
    focus_ = std::clamp(octet, 0, 255);
    update();
    if (picture_)
        emit statusText(cellText(*picture_, focus_));
}

void BlockMap::keyPressEvent(QKeyEvent* event) {
    if (!picture_) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(picture_->cells[static_cast<size_t>(focus_)].address);
        return;
    }
    const int column = focus_ % 16;
    const int row = focus_ / 16;
    switch (event->key()) {
    case Qt::Key_Left:
        moveFocus(column > 0 ? focus_ - 1 : focus_);
        break;
    case Qt::Key_Right:
        moveFocus(column < 15 ? focus_ + 1 : focus_);
        break;
    case Qt::Key_Up:
        moveFocus(row > 0 ? focus_ - 16 : focus_);
        break;
    case Qt::Key_Down:
        moveFocus(row < 15 ? focus_ + 16 : focus_);
        break;
    case Qt::Key_Home:
        moveFocus(0);
        break;
    case Qt::Key_End:
        moveFocus(255);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit cellChosen(picture_->cells[static_cast<size_t>(focus_)].address);
        break;
    default:
        QWidget::keyPressEvent(event);
        break;
    }
}

void BlockMap::mousePressEvent(QMouseEvent* event) {
    const int cell = cellAt(event->position().toPoint());
    if (cell >= 0)
        moveFocus(cell);
    QWidget::mousePressEvent(event);
    if (cell >= 0 && picture_ && event->button() == Qt::LeftButton)
        emit cellChosen(picture_->cells[static_cast<size_t>(cell)].address);
}

void BlockMap::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void BlockMap::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

bool drawBlockMap(BlockMap& map, QLabel& changes, const platform::AppPaths& paths, bool sweepRunning,
                  db::DatabaseBusy& busy, const QString& rangeText) {
    if (sweepRunning || busy.depth > 0)
        return false;
    // As for Delete and Print Report: a text under 7 characters names no run.
    const std::optional<db::RunOverview> overview =
        rangeText.size() >= 7 ? db::readRunOverview(paths, busy, rangeText) : std::nullopt;
    if (overview)
        map.showPicture(db::blockPicture(rangeText, overview->usage));
    else
        map.showNoRun();
    changes.setText(overview && overview->latestChanges ? schedule::changesLine(*overview->latestChanges)
                                                        : QString());
    return true;
}

QString cellToolTip(const db::BlockPicture& picture, int octet, const QLocale& locale) {
    const db::BlockCell& cell = picture.cells[static_cast<size_t>(std::clamp(octet, 0, 255))];
    QString text = cellText(picture, octet, locale);
    const auto line = [&](const char* label, const QDateTime& when) {
        if (when.isValid())
            text += QLatin1Char('\n') + QLatin1String(label) + platform::generalDateText(when, locale);
    };
    line("First seen: ", cell.firstAnswered);
    line("Last seen: ", cell.lastAnswered);
    line("Silent since: ", cell.silentSince);
    return text;
}

QString cellText(const db::BlockPicture& picture, int octet, const QLocale& locale) {
    const db::BlockCell& cell = picture.cells[static_cast<size_t>(std::clamp(octet, 0, 255))];
    QString text = cell.fill == db::CellFill::NotInRange
                       ? QStringLiteral("%1: not in this run's range").arg(cell.address)
                   : cell.answered == 0 ? QStringLiteral("%1: never answered").arg(cell.address)
                                        : QStringLiteral("%1: answered in %2 of %3 sweeps, last on %4")
                                              .arg(cell.address)
                                              .arg(cell.answered)
                                              .arg(picture.sweeps)
                                              .arg(platform::generalDateText(cell.lastAnswered, locale));
    if (octet == 0)
        text += QStringLiteral(" (the network's own address, not a host address)");
    else if (octet == 255)
        text += QStringLiteral(" (the broadcast address, not a host address)");
    return text;
}

} // namespace kestrion::app
