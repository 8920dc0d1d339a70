#pragma once

#include "resolver/IWSResolver.h"

#include <atomic>
#include <string>

namespace kestrion::resolver {

// Address to official host name and back through the system's host database (hosts file, then
// the name servers, as nsswitch.conf says). The object holds nothing but its reference count.
class WSResolver final : public IWSResolver {
public:
    WSResolver();
    ~WSResolver();

    com::HRESULT QueryInterface(const com::GUID& iid, void** object) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

    com::HRESULT GetHostByAddr(const char* IPAddr, char* HostName) override;
    com::HRESULT GetAddrByHost(const char* HostName, char* IPAddr) override;

private:
    std::atomic<uint32_t> references_{0};
};

// The two look-ups as texts: the result, or "Error code N occurred." with the resolver's
// h_errno-style code (1 not found, 2 try again, 3 no recovery, 4 no address).
std::string hostNameForAddress(const char* dottedAddress);
std::string addressForHostName(const char* hostName);

} // namespace kestrion::resolver
