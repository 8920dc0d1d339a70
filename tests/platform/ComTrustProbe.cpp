// Creates a WSResolver through the user's class registry as Kestrion does, and prints the result
// code and whether the kernel runs it with raised privileges.
#include "platform/com/RegistryComponentFactory.h"
#include "resolver/IWSResolver.h"

#include <cstdio>
#include <sys/auxv.h>

int main() {
    using namespace kestrion;
    com::RegistryComponentFactory factory;
    com::ComPtr<com::IUnknown> object;
    const com::HRESULT hr =
        factory.createInstance(resolver::CLSID_WSResolver, com::IID_IUnknown, object.put());
    std::printf("secure %lu result %08X\n", ::getauxval(AT_SECURE), static_cast<unsigned>(hr));
    return 0;
}
