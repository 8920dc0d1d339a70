#pragma once

#include "platform/com/Com.h"
#include "resolver/IWSResolver.h"

#include <QString>
#include <atomic>
#include <map>
#include <string>

namespace kestrion::test {

// Hands out WSResolver objects that answer from a table and counts creations, live objects and calls.
// `refuse` set: creation fails with that result, as with a missing registration.
class FakeComponentFactory final : public com::ComponentFactory {
public:
    com::HRESULT createInstance(const com::GUID& clsid, const com::GUID& iid, void** object) override;

    std::map<std::string, std::string> names; // address -> answer written into the buffer
    com::HRESULT refuse = com::S_OK;
    int created = 0;
    std::atomic<int> live{0};
    std::atomic<int> lookups{0};
    int waitMs = 0;                     // how long each look-up takes, as a silent name server would
    std::atomic<bool> lookingUp{false}; // true while a look-up waits
};

} // namespace kestrion::test
