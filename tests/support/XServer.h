#pragma once

#include <QProcess>
#include <QString>

namespace kestrion::testsupport {

// An Xvfb of this test alone, on a display number it picks itself. An X server resets itself whenever
// its last client leaves and refuses connections meanwhile; the test's tools come and go while the
// program is still connecting, so this one never resets.
class XServer {
public:
    XServer() {
        process_.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-noreset")});
        QByteArray out;
        while (!out.contains('\n') && process_.waitForReadyRead(10000))
            out += process_.readAllStandardOutput();
        if (out.contains('\n'))
            display_ = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
    }
    ~XServer() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
    const QString& display() const { return display_; } // empty: it did not start

private:
    QProcess process_;
    QString display_;
};

} // namespace kestrion::testsupport
