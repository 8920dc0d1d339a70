#include "resolver/FirstUseRegistration.h"

#include "platform/com/ClassRegistration.h"
#include "resolver/IWSResolver.h"

#include <QFileInfo>
#include <dlfcn.h>

namespace kestrion::resolver {

FirstUseRegistration registerOnFirstUse(const QString& appFolder) {
    const com::ClassRegistry registry;
    const std::optional<std::string> registered =
        registry.value(com::classKeyPath(resolver::CLSID_WSResolver) + "\\InprocServer32");
    if (registered && !registered->empty() && QFileInfo::exists(QString::fromStdString(*registered)))
        return FirstUseRegistration::AlreadyRegistered;

    const QString library = QFileInfo(appFolder + QStringLiteral("/libResolver.so")).absoluteFilePath();
    if (!QFileInfo(library).isFile())
        return FirstUseRegistration::NoLibrary;
    // The library's own DllRegisterServer writes its class keys, as the registration tool has it do.
    void* handle = ::dlopen(library.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return FirstUseRegistration::Failed;
    auto registerServer = reinterpret_cast<com::DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    const bool ok = registerServer && com::Succeeded(registerServer());
    ::dlclose(handle);
    return ok ? FirstUseRegistration::Registered : FirstUseRegistration::Failed;
}

com::HRESULT RegisteringComponentFactory::createInstance(const com::GUID& clsid, const com::GUID& iid,
                                                         void** object) {
    if (!checked_ && clsid == CLSID_WSResolver) {
        checked_ = true;
        registerOnFirstUse(appFolder_);
    }
    return runtime_.createInstance(clsid, iid, object);
}

} // namespace kestrion::resolver
