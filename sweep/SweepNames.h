#pragma once

#include "platform/com/Com.h"
#include "resolver/IWSResolver.h"

#include <QString>
#include <QStringList>

namespace kestrion::com {
class ComponentFactory;
}

namespace kestrion::sweep {

class SweepObserver;

// The resolver object of one sweep: made at the first answering address, released on every way out,
// and its library let go once it serves nothing. Look-ups run through the observer's wait(), so a
// window keeps painting meanwhile.
class SweepNames {
public:
    // `components` may be null: every host is "Not available".
    SweepNames(com::ComponentFactory* components, SweepObserver& observer)
        : components_(components), observer_(observer) {}
    SweepNames(const SweepNames&) = delete;
    SweepNames& operator=(const SweepNames&) = delete;
    ~SweepNames();

    QString lookUp(const QString& address);
    // The names of `addresses`, in their order, with up to `atOnce` look-ups under way together: a
    // parallel sweep's answering hosts, whose silent name servers would otherwise cost 10 s each in a row.
    QStringList lookUpAll(const QStringList& addresses, int atOnce);

private:
    bool available();
    void create();

    com::ComponentFactory* components_;
    SweepObserver& observer_;
    com::ComPtr<resolver::IWSResolver> object_;
    bool unavailable_ = false;
};

} // namespace kestrion::sweep
