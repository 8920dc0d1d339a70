#pragma once

// Creates component objects from the libraries named in the per-user class registry, and unloads
// those libraries again once they serve no object.

#include "platform/com/ClassRegistry.h"
#include "platform/com/LibraryTrust.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kestrion::com {

class RegistryComponentFactory : public ComponentFactory {
public:
    // `notice` is told, once per library, why a registered library is not loaded (standard error
    // by default).
    explicit RegistryComponentFactory(ClassRegistry registry = ClassRegistry{},
                                      LibraryTrust trust = LibraryTrust::forThisProcess(),
                                      std::function<void(const std::string&)> notice = {});
    // Unloads what can be unloaded; a library that still serves objects stays loaded.
    ~RegistryComponentFactory() override;
    RegistryComponentFactory(const RegistryComponentFactory&) = delete;
    RegistryComponentFactory& operator=(const RegistryComponentFactory&) = delete;

    // REGDB_E_CLASSNOTREG when the class has no InprocServer32 library, CO_E_DLLNOTFOUND when
    // that file is missing or not a full path, CO_E_ERRORINDLL when it cannot be loaded or lacks
    // DllGetClassObject, E_ACCESSDENIED when the trust rule refuses it;
    // otherwise whatever the library's class factory answers.
    HRESULT createInstance(const GUID& clsid, const GUID& iid, void** object) override;
    // By versioned or version-independent ProgID; CO_E_CLASSSTRING for an unknown one.
    HRESULT createInstanceByProgId(std::string_view progId, const GUID& iid, void** object);
    HRESULT getClassObject(const GUID& clsid, const GUID& iid, void** object);

    void freeUnusedLibraries() override;
    std::vector<std::string> loadedLibraries() const;

    const ClassRegistry& registry() const { return registry_; }

private:
    struct Library {
        std::string path;
        void* handle = nullptr;
        DllGetClassObjectFn getClassObject = nullptr;
        DllCanUnloadNowFn canUnloadNow = nullptr;
    };
    // Called with mutex_ held.
    HRESULT loadLibrary(const std::string& path, Library& library);

    ClassRegistry registry_;
    LibraryTrust trust_;
    std::function<void(const std::string&)> notice_;
    mutable std::mutex mutex_;
    std::vector<Library> libraries_;
    std::set<std::string> refused_; // libraries whose refusal was already told
};

} // namespace kestrion::com
