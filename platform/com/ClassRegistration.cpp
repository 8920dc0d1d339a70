#include "platform/com/ClassRegistration.h"

namespace kestrion::com {

std::string classKeyPath(const GUID& clsid) {
    return "CLSID\\" + clsid.toString();
}

HRESULT registerInprocClass(const ClassRegistry& registry, const InprocClassInfo& info) {
    if (info.progId.empty() || info.versionIndependentProgId.empty() || info.libraryPath.empty())
        return E_INVALIDARG;
    const std::string classKey = classKeyPath(info.clsid);
    return registry.update([&](RegistryTree& tree) {
        tree.deleteKey(classKey);
        const std::pair<std::string, std::string> defaults[] = {
            {info.progId, info.description},
            {info.progId + "\\CLSID", info.clsid.toString()},
            {info.versionIndependentProgId, info.description},
            {info.versionIndependentProgId + "\\CurVer", info.progId},
            {classKey, info.description},
            {classKey + "\\ProgID", info.progId},
            {classKey + "\\VersionIndependentProgID", info.versionIndependentProgId},
            {classKey + "\\InprocServer32", info.libraryPath},
        };
        for (const auto& [key, text] : defaults)
            if (HRESULT hr = tree.setValue(key, "", text); Failed(hr))
                return hr;
        if (HRESULT hr = tree.createKey(classKey + "\\Programmable"); Failed(hr))
            return hr;
        return tree.setValue(classKey + "\\InprocServer32", "ThreadingModel", info.threadingModel);
    });
}

HRESULT unregisterInprocClass(const ClassRegistry& registry, const InprocClassInfo& info) {
    return registry.update([&](RegistryTree& tree) {
        if (!info.progId.empty())
            tree.deleteKey(info.progId);
        if (!info.versionIndependentProgId.empty())
            tree.deleteKey(info.versionIndependentProgId);
        tree.deleteKey(classKeyPath(info.clsid));
        return S_OK;
    });
}

HRESULT clsidFromProgId(const ClassRegistry& registry, std::string_view progId, GUID& clsid) {
    RegistryTree tree;
    if (HRESULT hr = registry.read(tree); Failed(hr))
        return hr;
    if (progId.empty() || !tree.hasKey(progId))
        return CO_E_CLASSSTRING;
    std::optional<std::string> text = tree.value(std::string(progId) + "\\CLSID");
    if (!text) {
        // Only one step through CurVer: a versioned ProgID carries its class itself.
        std::optional<std::string> current = tree.value(std::string(progId) + "\\CurVer");
        if (current && !current->empty())
            text = tree.value(*current + "\\CLSID");
    }
    if (!text)
        return CO_E_CLASSSTRING;
    std::optional<GUID> parsed = GUID::parse(*text);
    if (!parsed)
        return CO_E_CLASSSTRING;
    clsid = *parsed;
    return S_OK;
}

} // namespace kestrion::com
