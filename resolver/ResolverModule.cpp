// The library's four exported entry points, its class factory and its object and lock counts.

#include "resolver/ResolverModule.h"

#include "platform/com/ClassRegistration.h"
#include "resolver/WSResolver.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <dlfcn.h>

#define KESTRION_EXPORT extern "C" __attribute__((visibility("default")))

namespace kestrion::resolver {

using namespace com;

namespace module {

namespace {
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
} // namespace

void objectCreated() {
    ++liveObjects;
}
void objectDestroyed() {
    --liveObjects;
}
void lock() {
    ++serverLocks;
}
void unlock() {
    --serverLocks;
}
bool idle() {
    return liveObjects == 0 && serverLocks == 0;
}

} // namespace module

namespace {

// The library holds the first reference for its whole life; any further reference a user takes
// counts as a lock, so the library is not unloaded under a class factory still in use.
class WSResolverFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override {
        const uint32_t now = ++references_;
        if (now == 2)
            module::lock();
        return now;
    }
    uint32_t Release() override {
        const uint32_t now = --references_;
        if (now == 1)
            module::unlock();
        return now;
    }
    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* resolver = new (std::nothrow) WSResolver;
        if (!resolver)
            return E_OUTOFMEMORY;
        resolver->AddRef();
        const HRESULT hr = resolver->QueryInterface(iid, object);
        resolver->Release();
        return hr;
    }
    HRESULT LockServer(bool lock) override {
        if (lock)
            module::lock();
        else
            module::unlock();
        return S_OK;
    }

private:
    std::atomic<uint32_t> references_{1};
};

WSResolverFactory& classFactory() {
    static WSResolverFactory factory;
    return factory;
}

InprocClassInfo classInfo(std::string libraryPath) {
    return {CLSID_WSResolver,        "WSResolver Class", "WSResolver.WSResolver.1",
            "WSResolver.WSResolver", "Apartment",        std::move(libraryPath)};
}

} // namespace

} // namespace kestrion::resolver

using namespace kestrion::com;
using namespace kestrion::resolver;

KESTRION_EXPORT HRESULT DllCanUnloadNow() {
    return module::idle() ? S_OK : S_FALSE;
}

KESTRION_EXPORT HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!(clsid == CLSID_WSResolver))
        return CLASS_E_CLASSNOTAVAILABLE;
    return classFactory().QueryInterface(iid, object);
}

KESTRION_EXPORT HRESULT DllRegisterServer() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname)
        return E_FAIL;
    char full[PATH_MAX];
    if (!::realpath(info.dli_fname, full))
        return E_FAIL;
    return registerInprocClass(ClassRegistry{}, classInfo(full));
}

// Absent keys are no failure; a registry file that cannot be rewritten is, so a failed
// unregistration is not reported as done.
KESTRION_EXPORT HRESULT DllUnregisterServer() {
    const HRESULT hr = unregisterInprocClass(ClassRegistry{}, classInfo({}));
    return Failed(hr) ? hr : S_OK;
}
