#pragma once

#include "db/BlockUsage.h"
#include "platform/AppPaths.h"

#include <QColor>
#include <QLabel>
#include <QLocale>
#include <QString>
#include <QWidget>
#include <optional>

namespace kestrion::app {

// The chosen saved run's block on the Database tab: 16 x 16 cells, row 0 = .0 to .15, filled by how
// the address answered across the run's saved sweeps, outlined when it answered in the latest one.
// It shows plain values handed to it; it never reads the database itself.
class BlockMap : public QWidget {
    Q_OBJECT
public:
    explicit BlockMap(QWidget* parent = nullptr);

    void showPicture(db::BlockPicture picture);
    // Blank, with "No run chosen".
    void showNoRun();
    const std::optional<db::BlockPicture>& picture() const { return picture_; }

    int focusCell() const { return focus_; }
    // The cell's square in widget coordinates, grid lines excluded.
    QRect cellRect(int octet) const;
    // -1 where no cell is.
    int cellAt(QPoint pos) const;

    static QColor fillColour(db::CellFill fill);
    // Dark on the light and middle fills, light on the dark one.
    static QColor latestSweepOutline(db::CellFill fill);

    QSize sizeHint() const override;

signals:
    // The focus cell's text as the arrow keys move it (the status bar's first panel).
    void statusText(const QString& text);
    // A cell chosen by a click or Return: its address's history is asked for.
    void cellChosen(const QString& address);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Layout {
        QRect heading;
        QRect grid; // outer edge of the grid lines
        int pitch = 0;
        QRect legend;
    };
    Layout layout() const;
    void moveFocus(int octet);
    void paintLegend(QPainter& painter, const QRect& where) const;

    std::optional<db::BlockPicture> picture_;
    int focus_ = 0;
};

// "192.168.1.20: answered in 3 of 5 sweeps, last on <general date text>" or
// "192.168.1.21: never answered" or "192.168.1.22: not in this run's range"; .0 and .255 say that
// they are not host addresses.
QString cellText(const db::BlockPicture& picture, int octet, const QLocale& locale = QLocale::system());
// The cell's tooltip: its text, then first seen, last seen and silent since, each on a line of its own
// where the address has one.
QString cellToolTip(const db::BlockPicture& picture, int octet, const QLocale& locale = QLocale::system());

// Shows the run of this range text, or "No run chosen" for a text too short to name one or a run
// that is not saved, and its latest changes on `changes` (empty when there are none to compare). While a
// sweep or another database operation runs it leaves both as they are and returns false: the database
// serves one operation at a time.
bool drawBlockMap(BlockMap& map, QLabel& changes, const platform::AppPaths& paths, bool sweepRunning,
                  db::DatabaseBusy& busy, const QString& rangeText);

} // namespace kestrion::app
