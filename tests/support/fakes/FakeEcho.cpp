#include "tests/support/fakes/FakeEcho.h"

#include <arpa/inet.h>
#include <chrono>
#include <thread>

namespace kestrion::test {

namespace {
class Channel final : public platform::EchoChannel {
public:
    explicit Channel(FakeEcho& echo) : echo_(echo) { ++echo_.openHandles; }
    ~Channel() override {
        --echo_.openHandles;
        if (sent_ && echo_.onClosed)
            echo_.onClosed(destination_);
    }
    platform::EchoReply send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs) override {
        if (echo_.waitMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(echo_.waitMs));
        sent_ = true;
        destination_ = destination;
        echo_.sent.push_back({destination, data, timeoutMs});
        auto it = echo_.script.find(destination);
        if (it == echo_.script.end())
            return {0, platform::echo_status::TimedOut, 0, 0};
        return it->second;
    }

private:
    FakeEcho& echo_;
    bool sent_ = false;
    uint32_t destination_ = 0;
};
} // namespace

uint32_t FakeEcho::value(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

void FakeEcho::answer(const char* dotted, uint32_t roundTripMs) {
    script[value(dotted)] = {value(dotted), platform::echo_status::Success, roundTripMs, 1};
}

void FakeEcho::fail(const char* dotted, uint32_t status, uint32_t replies, uint32_t source) {
    script[value(dotted)] = {source, status, 0, replies};
}

void FakeEcho::answerFrom(const char* dotted, const char* source, uint32_t status) {
    script[value(dotted)] = {value(source), status, 0, 1};
}

platform::EchoOpenResult FakeEcho::open() {
    if (!refusal.empty())
        return {nullptr, refusal};
    ++opened;
    return {std::make_unique<Channel>(*this), {}};
}

} // namespace kestrion::test
