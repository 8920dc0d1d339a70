// Loaded by LD_PRELOAD into Kestrion as extracted from its package: once the main window is up it
// sweeps the one address given in KESTRION_PROBE_ADDRESS, prints the results grid, presses Help and
// ends the program, so the package test sees the database, the Resolver and the help page in use.
// What the program hands the desktop to open is printed instead of opened (the offscreen platform
// has no desktop services).
// Message boxes are answered by startup_box_answerer, preloaded beside it.
#include <QApplication>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <cstdio>

namespace {

QWidget* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String("frmMain"))
            return w;
    return nullptr;
}

void report(const QString& line) {
    std::printf("PROBE|%s\n", qPrintable(line));
    std::fflush(stdout);
}

void sweepAndOpenHelp(QWidget* window) {
    const QStringList octets = qEnvironmentVariable("KESTRION_PROBE_ADDRESS").split(QLatin1Char('.'));
    const char* boxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5"};
    for (int i = 0; i < 5 && octets.size() == 4; ++i)
        if (auto* box = window->findChild<QLineEdit*>(QLatin1String(boxes[i])))
            box->setText(octets[i < 4 ? i : 3]);
    if (auto* ping = window->findChild<QPushButton*>(QStringLiteral("cmdPing"))) {
        report(QStringLiteral("PING|%1").arg(ping->isEnabled() ? "enabled" : "disabled"));
        ping->click(); // returns when the sweep has ended
    }
    if (auto* grid = window->findChild<QTableView*>(QStringLiteral("flxOutBox"))) {
        const QAbstractItemModel* rows = grid->model();
        for (int r = 0; r < rows->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < rows->columnCount(); ++c)
                cells << rows->index(r, c).data().toString();
            report(QStringLiteral("ROW|") + cells.join(QLatin1Char('|')));
        }
    }
    if (auto* help = window->findChild<QPushButton*>(QStringLiteral("cmdLaunchHelp(0)")))
        help->click();
    report(QStringLiteral("END"));
    QCoreApplication::exit(0);
}

class OpenRecorder : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { report(QStringLiteral("OPEN|") + url.toString()); }
};

void install() {
    auto* recorder = new OpenRecorder;
    recorder->setParent(QCoreApplication::instance());
    for (const char* scheme : {"file", "http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), recorder, "open");
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (QWidget* window = mainWindow()) {
            timer->stop();
            sweepAndOpenHelp(window);
        }
    });
    timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)

#include "PackageProbe.moc"
