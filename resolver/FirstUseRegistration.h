#pragma once

#include "platform/com/Com.h"

#include <QString>

namespace kestrion::resolver {

enum class FirstUseRegistration {
    AlreadyRegistered, // the user's registry names a library that is there; left as it is
    Registered,        // the application folder's library was registered for this user
    NoLibrary,         // not registered, and no libResolver.so beside the program
    Failed,            // the library would not load or its registration failed
};

// A package installs the Resolver for every user but cannot register it per user, so the window and
// kestrion-cli register the library of their application folder the first time a user starts one of them
// without a registration.
// A registration naming a library that no longer exists counts as none. Never unregisters anything.
FirstUseRegistration registerOnFirstUse(const QString& appFolder);

// The component runtime of a program that registers the Resolver on its first use: the first request for
// a WSResolver object registers the application folder's library where the user has none, then asks the
// runtime it wraps. Every other class goes straight through.
class RegisteringComponentFactory : public com::ComponentFactory {
public:
    RegisteringComponentFactory(com::ComponentFactory& runtime, QString appFolder)
        : runtime_(runtime), appFolder_(std::move(appFolder)) {}

    com::HRESULT createInstance(const com::GUID& clsid, const com::GUID& iid, void** object) override;
    void freeUnusedLibraries() override { runtime_.freeUnusedLibraries(); }

private:
    com::ComponentFactory& runtime_;
    QString appFolder_;
    bool checked_ = false;
};

} // namespace kestrion::resolver
