// kregsvr: registers or unregisters an in-process component library for this user, by calling
// the library's own DllRegisterServer or DllUnregisterServer.

#include "platform/com/Com.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>

using namespace kestrion::com;

namespace {

int usage() {
    std::fprintf(stderr, "usage: kregsvr [-u] LIBRARY\n"
                         "  registers LIBRARY for this user; with -u, removes its registration\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0 && !unregister && !library)
            unregister = true;
        else if (argv[i][0] != '-' && !library)
            library = argv[i];
        else
            return usage();
    }
    if (!library)
        return usage();

    std::error_code ec;
    if (!std::filesystem::is_regular_file(library, ec)) {
        std::fprintf(stderr, "kregsvr: %s: no such library file\n", library);
        return 1;
    }
    // An absolute path, so that dlopen takes this very file and not one from the search path.
    const std::string path = std::filesystem::absolute(library).string();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "kregsvr: cannot load %s: %s\n", path.c_str(), ::dlerror());
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto call = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, entry));
    if (!call) {
        std::fprintf(stderr,
                     "kregsvr: %s has no %s entry point; it is not a self-registering component library\n",
                     path.c_str(), entry);
        ::dlclose(handle);
        return 1;
    }
    const HRESULT hr = call();
    ::dlclose(handle);
    if (Failed(hr)) {
        std::fprintf(stderr, "kregsvr: %s in %s failed with 0x%08X\n", entry, path.c_str(),
                     static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("kregsvr: %s %s\n", unregister ? "unregistered" : "registered", path.c_str());
    return 0;
}
