#include "app/ResolverFirstStart.h"

#include "platform/com/ClassRegistration.h"
#include "resolver/IWSResolver.h"

#include <QFileInfo>
#include <dlfcn.h>

namespace kestrion::app {

FirstStartRegistration registerResolverOnFirstStart(const QString& appFolder) {
    const com::ClassRegistry registry;
    const std::optional<std::string> registered =
        registry.value(com::classKeyPath(resolver::CLSID_WSResolver) + "\\InprocServer32");
    if (registered && !registered->empty() && QFileInfo::exists(QString::fromStdString(*registered)))
        return FirstStartRegistration::AlreadyRegistered;

    const QString library = QFileInfo(appFolder + QStringLiteral("/libResolver.so")).absoluteFilePath();
    if (!QFileInfo(library).isFile())
        return FirstStartRegistration::NoLibrary;
    // The library's own DllRegisterServer writes its class keys, as the registration tool has it do.
    void* handle = ::dlopen(library.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return FirstStartRegistration::Failed;
    auto registerServer = reinterpret_cast<com::DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    const bool ok = registerServer && com::Succeeded(registerServer());
    ::dlclose(handle);
    return ok ? FirstStartRegistration::Registered : FirstStartRegistration::Failed;
}

} // namespace kestrion::app
