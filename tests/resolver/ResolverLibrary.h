#pragma once

// The built Resolver library, loaded the way the component runtime loads it, with its exports.

#include "resolver/IWSResolver.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string>

namespace kestrion::test {

class ResolverLibrary {
public:
    ResolverLibrary() {
        handle_ = ::dlopen(RESOLVER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            ADD_FAILURE() << "cannot load " << RESOLVER_LIBRARY << ": " << ::dlerror();
            return;
        }
        getClassObject = reinterpret_cast<com::DllGetClassObjectFn>(::dlsym(handle_, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<com::DllCanUnloadNowFn>(::dlsym(handle_, "DllCanUnloadNow"));
        registerServer = reinterpret_cast<com::DllRegisterServerFn>(::dlsym(handle_, "DllRegisterServer"));
        unregisterServer =
            reinterpret_cast<com::DllUnregisterServerFn>(::dlsym(handle_, "DllUnregisterServer"));
    }
    ~ResolverLibrary() {
        if (handle_)
            ::dlclose(handle_);
    }
    ResolverLibrary(const ResolverLibrary&) = delete;
    ResolverLibrary& operator=(const ResolverLibrary&) = delete;

    bool complete() const { return getClassObject && canUnloadNow && registerServer && unregisterServer; }

    // A new WSResolver object through the library's class factory, or null.
    com::ComPtr<resolver::IWSResolver> create() const {
        com::ComPtr<com::IClassFactory> factory;
        com::ComPtr<resolver::IWSResolver> object;
        if (getClassObject &&
            com::Succeeded(getClassObject(resolver::CLSID_WSResolver, com::IID_IClassFactory, factory.put())))
            factory->CreateInstance(nullptr, resolver::IID_IWSResolver, object.put());
        return object;
    }

    com::DllGetClassObjectFn getClassObject = nullptr;
    com::DllCanUnloadNowFn canUnloadNow = nullptr;
    com::DllRegisterServerFn registerServer = nullptr;
    com::DllUnregisterServerFn unregisterServer = nullptr;

private:
    void* handle_ = nullptr;
};

} // namespace kestrion::test
