#include "platform/com/RegistryComponentFactory.h"

#include "platform/com/ClassRegistration.h"

#include <cstdio>
#include <dlfcn.h>
#include <sys/stat.h>

namespace kestrion::com {

RegistryComponentFactory::RegistryComponentFactory(ClassRegistry registry, LibraryTrust trust,
                                                   std::function<void(const std::string&)> notice)
    : registry_(std::move(registry)), trust_(std::move(trust)), notice_(std::move(notice)) {
    if (!notice_)
        notice_ = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
}

RegistryComponentFactory::~RegistryComponentFactory() {
    freeUnusedLibraries();
}

HRESULT RegistryComponentFactory::loadLibrary(const std::string& path, Library& library) {
    for (const Library& loaded : libraries_) {
        if (loaded.path == path) {
            library = loaded;
            return S_OK;
        }
    }
    // Registration writes full paths; a bare name would make dlopen search the library path and
    // perhaps load some other file of that name.
    struct stat info {};
    if (path.empty() || path.front() != '/' || ::stat(path.c_str(), &info) != 0)
        return CO_E_DLLNOTFOUND;
    if (std::optional<std::string> reason = trust_.refusal(path)) {
        if (refused_.insert(path).second)
            notice_("Kestrion runs with raised privileges (a file capability or set-user-ID) and does not "
                    "load the component library " +
                    path + " named in the class registry " + registry_.file().string() + ": " + *reason +
                    ". It loads component libraries only from " + trust_.appFolder.string() +
                    " where the user cannot change them.");
        return E_ACCESSDENIED;
    }
    // RTLD_LOCAL keeps two component libraries' private symbols apart.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return CO_E_ERRORINDLL;
    Library loaded{path, handle, reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject")),
                   reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"))};
    if (!loaded.getClassObject) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    libraries_.push_back(loaded);
    library = loaded;
    return S_OK;
}

HRESULT RegistryComponentFactory::getClassObject(const GUID& clsid, const GUID& iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    RegistryTree tree;
    if (HRESULT hr = registry_.read(tree); Failed(hr))
        return hr;
    std::optional<std::string> path = tree.value(classKeyPath(clsid) + "\\InprocServer32");
    if (!path)
        return REGDB_E_CLASSNOTREG;
    // Held until the class object is out, so a tidy-up on another thread cannot unload the
    // library in between; from then on the class object's reference keeps the library busy.
    std::lock_guard lock(mutex_);
    Library library;
    if (HRESULT hr = loadLibrary(*path, library); Failed(hr))
        return hr;
    return library.getClassObject(clsid, iid, object);
}

HRESULT RegistryComponentFactory::createInstance(const GUID& clsid, const GUID& iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.put());
    if (Failed(hr))
        return hr;
    if (!factory)
        return E_FAIL;
    hr = factory->CreateInstance(nullptr, iid, object);
    if (Failed(hr))
        *object = nullptr;
    return hr;
}

HRESULT RegistryComponentFactory::createInstanceByProgId(std::string_view progId, const GUID& iid,
                                                         void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    GUID clsid;
    if (HRESULT hr = clsidFromProgId(registry_, progId, clsid); Failed(hr))
        return hr;
    return createInstance(clsid, iid, object);
}

void RegistryComponentFactory::freeUnusedLibraries() {
    std::lock_guard lock(mutex_);
    for (auto it = libraries_.begin(); it != libraries_.end();) {
        // A library that cannot say whether it is idle is never unloaded.
        if (it->canUnloadNow && it->canUnloadNow() == S_OK) {
            ::dlclose(it->handle);
            it = libraries_.erase(it);
        } else {
            ++it;
        }
    }
}

std::vector<std::string> RegistryComponentFactory::loadedLibraries() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const Library& library : libraries_)
        out.push_back(library.path);
    return out;
}

} // namespace kestrion::com
