#include "tests/support/fakes/FakeResolver.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace kestrion::test {

namespace {
class Resolver final : public resolver::IWSResolver {
public:
    explicit Resolver(FakeComponentFactory& factory) : factory_(factory) { ++factory_.live; }

    com::HRESULT QueryInterface(const com::GUID& iid, void** object) override {
        if (!object)
            return com::E_POINTER;
        if (iid == com::IID_IUnknown || iid == resolver::IID_IWSResolver) {
            AddRef();
            *object = static_cast<resolver::IWSResolver*>(this);
            return com::S_OK;
        }
        *object = nullptr;
        return com::E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
        const uint32_t left = --refs_;
        if (left == 0) {
            --factory_.live;
            delete this;
        }
        return left;
    }
    com::HRESULT GetHostByAddr(const char* IPAddr, char* HostName) override {
        ++factory_.lookups;
        if (factory_.waitMs > 0) {
            factory_.lookingUp = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(factory_.waitMs));
            factory_.lookingUp = false;
        }
        auto it = factory_.names.find(IPAddr);
        std::string answer =
            it != factory_.names.end() ? it->second : std::string("Error code 11004 occurred.");
        if (answer.size() > resolver::kHostNameChars)
            answer.resize(resolver::kHostNameChars);
        std::memcpy(HostName, answer.c_str(), answer.size() + 1);
        return com::S_OK;
    }
    com::HRESULT GetAddrByHost(const char*, char* IPAddr) override {
        const std::string answer =
            std::string("Error code 11001 occurred.").substr(0, resolver::kAddressChars - 1);
        std::memcpy(IPAddr, answer.c_str(), answer.size() + 1);
        return com::S_OK;
    }

private:
    ~Resolver() = default;
    FakeComponentFactory& factory_;
    std::atomic<uint32_t> refs_{1};
};
} // namespace

com::HRESULT FakeComponentFactory::createInstance(const com::GUID& clsid, const com::GUID& iid,
                                                  void** object) {
    if (!object)
        return com::E_POINTER;
    *object = nullptr;
    if (com::Failed(refuse))
        return refuse;
    if (!(clsid == resolver::CLSID_WSResolver))
        return com::REGDB_E_CLASSNOTREG;
    auto* made = new Resolver(*this);
    const com::HRESULT hr = made->QueryInterface(iid, object);
    made->Release();
    if (com::Succeeded(hr))
        ++created;
    return hr;
}

} // namespace kestrion::test
