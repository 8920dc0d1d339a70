#pragma once

#include "platform/com/Com.h"

#include <cstddef>

namespace kestrion::resolver {

inline constexpr com::GUID CLSID_WSResolver{
    0xE5A8F01F, 0x2348, 0x11D2, {0x93, 0x60, 0x00, 0x00, 0xF6, 0x60, 0x6C, 0x80}};
inline constexpr com::GUID IID_IWSResolver{
    0xE5A8F01E, 0x2348, 0x11D2, {0x93, 0x60, 0x00, 0x00, 0xF6, 0x60, 0x6C, 0x80}};
inline constexpr com::GUID LIBID_RESOLVERLib{
    0xE5A8F010, 0x2348, 0x11D2, {0x93, 0x60, 0x00, 0x00, 0xF6, 0x60, 0x6C, 0x80}};

// The interface passes no buffer sizes, so these are the contract: the sweep's host-name buffer holds
// 200 characters and a terminating zero for GetHostByAddr, and an address buffer room for a dotted
// address (15 characters and the zero, kAddressChars bytes) for GetAddrByHost. The resolver never
// writes more; a longer result is cut.
inline constexpr std::size_t kHostNameChars = 200;
inline constexpr std::size_t kHostNameBuffer = kHostNameChars + 1;
inline constexpr std::size_t kAddressChars = 16;

// Turns addresses into host names and back. Both methods return S_OK (E_POINTER only when there
// is no result buffer at all); a failed look-up writes "Error code N occurred." in place of the result.
struct IWSResolver : com::IUnknown {
    virtual com::HRESULT GetHostByAddr(const char* IPAddr, char* HostName) = 0;
    virtual com::HRESULT GetAddrByHost(const char* HostName, char* IPAddr) = 0;

protected:
    ~IWSResolver() = default;
};

} // namespace kestrion::resolver
