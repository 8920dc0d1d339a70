#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

namespace kestrion::test {

// The process's local time zone for the scope of a test, given as a TZ value ("Europe/Berlin"); the
// previous one comes back after it.
class LocalZone {
public:
    explicit LocalZone(const char* zone) : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone() {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    bool had_;
    QByteArray old_;
};

} // namespace kestrion::test
