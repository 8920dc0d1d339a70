#pragma once

// What a component library's DllRegisterServer and DllUnregisterServer write and remove.

#include "platform/com/ClassRegistry.h"

#include <string>

namespace kestrion::com {

struct InprocClassInfo {
    GUID clsid;
    std::string description;              // default value of the class and both ProgID keys
    std::string progId;                   // versioned, e.g. "Library.Class.1"
    std::string versionIndependentProgId; // e.g. "Library.Class", whose CurVer names progId
    std::string threadingModel;
    std::string libraryPath; // full path of the library, for InprocServer32
};

// The class key (with Programmable) is replaced as a whole on every registration; the ProgID keys
// are written over whatever is there. One atomic rewrite of the registry file.
HRESULT registerInprocClass(const ClassRegistry& registry, const InprocClassInfo& info);
// Removes both ProgID keys and the class key; the CLSID key above the class stays.
HRESULT unregisterInprocClass(const ClassRegistry& registry, const InprocClassInfo& info);

// "CLSID\{...}" for a class.
std::string classKeyPath(const GUID& clsid);

// ProgID -> class identifier, through the ProgID's own CLSID subkey or else its CurVer.
// CO_E_CLASSSTRING when the ProgID is not registered or names no valid class identifier.
HRESULT clsidFromProgId(const ClassRegistry& registry, std::string_view progId, GUID& clsid);

} // namespace kestrion::com
