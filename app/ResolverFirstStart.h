#pragma once

#include <QString>

namespace kestrion::app {

enum class FirstStartRegistration {
    AlreadyRegistered, // the user's registry names a library that is there; left as it is
    Registered,        // the application folder's library was registered for this user
    NoLibrary,         // not registered, and no libResolver.so beside the program
    Failed,            // the library would not load or its registration failed
};

// A package installs the Resolver for every user but cannot register it per user, so the program
// registers the library of its own application folder the first time a user starts it without one.
// A registration naming a library that no longer exists counts as none. Never unregisters anything.
FirstStartRegistration registerResolverOnFirstStart(const QString& appFolder);

} // namespace kestrion::app
