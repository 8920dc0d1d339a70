#include "resolver/WSResolver.h"

#include "resolver/ResolverModule.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <vector>

namespace kestrion::resolver {

using namespace com;

namespace {

std::string errorText(int code) {
    char text[48];
    std::snprintf(text, sizeof text, "Error code %d occurred.", code);
    return text;
}

// The reentrant host-database calls want a caller buffer; a host with many aliases or addresses
// needs more than the first guess, which they report as ERANGE.
template <typename Call>
hostent* withGrowingBuffer(hostent& entry, std::vector<char>& buffer, int& error, Call call) {
    for (;;) {
        hostent* result = nullptr;
        error = 0;
        int rc = call(&entry, buffer.data(), buffer.size(), &result, &error);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return rc == 0 ? result : nullptr;
    }
}

// `size` counts the terminator, which is always written.
void copyCut(const std::string& text, char* out, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace

std::string hostNameForAddress(const char* dottedAddress) {
    // inet_addr's no-address value is also 255.255.255.255, which is therefore never looked up.
    const in_addr_t address = ::inet_addr(dottedAddress ? dottedAddress : "");
    if (address == INADDR_NONE)
        return errorText(h_errno);
    hostent entry{};
    std::vector<char> buffer(2048);
    int error = 0;
    hostent* found =
        withGrowingBuffer(entry, buffer, error, [&](hostent* e, char* b, size_t n, hostent** r, int* err) {
            return ::gethostbyaddr_r(&address, sizeof address, AF_INET, e, b, n, r, err);
        });
    if (!found || !found->h_name) {
        // Keeps the thread's last resolver error, which the no-address case above reports.
        h_errno = error;
        return errorText(error);
    }
    return found->h_name;
}

std::string addressForHostName(const char* hostName) {
    hostent entry{};
    std::vector<char> buffer(2048);
    int error = 0;
    hostent* found =
        withGrowingBuffer(entry, buffer, error, [&](hostent* e, char* b, size_t n, hostent** r, int* err) {
            return ::gethostbyname_r(hostName ? hostName : "", e, b, n, r, err);
        });
    if (found && (found->h_addrtype != AF_INET || found->h_length != 4 || !found->h_addr_list[0])) {
        found = nullptr;
        error = NO_DATA;
    }
    if (!found) {
        h_errno = error;
        return errorText(error);
    }
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, found->h_addr_list[0], text, sizeof text))
        return errorText(NO_RECOVERY);
    return text;
}

WSResolver::WSResolver() {
    module::objectCreated();
}

WSResolver::~WSResolver() {
    module::objectDestroyed();
}

HRESULT WSResolver::QueryInterface(const GUID& iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IWSResolver) {
        *object = static_cast<IWSResolver*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

uint32_t WSResolver::AddRef() {
    return ++references_;
}

uint32_t WSResolver::Release() {
    const uint32_t left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT WSResolver::GetHostByAddr(const char* IPAddr, char* HostName) {
    if (!HostName)
        return E_POINTER;
    copyCut(hostNameForAddress(IPAddr), HostName, kHostNameBuffer);
    return S_OK;
}

HRESULT WSResolver::GetAddrByHost(const char* HostName, char* IPAddr) {
    if (!IPAddr)
        return E_POINTER;
    copyCut(addressForHostName(HostName), IPAddr, kAddressChars);
    return S_OK;
}

} // namespace kestrion::resolver
