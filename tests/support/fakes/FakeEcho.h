#pragma once

#include "platform/EchoService.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrion::test {

// A scripted echo service. Every destination answers as scripted (a time-out when not scripted);
// every send is recorded. `onClosed` runs on the caller's thread when a handle that sent is closed,
// just before the sweep judges the answer and yields: post a click from there to have it handled at
// that address's yield.
class FakeEcho final : public platform::EchoService {
public:
    struct Sent {
        uint32_t destination;
        std::vector<uint8_t> data;
        int timeoutMs;
    };

    // The reply for a dotted address; `replies` and `address` are filled in for the common cases.
    void answer(const char* dotted, uint32_t roundTripMs = 1);
    void fail(const char* dotted, uint32_t status, uint32_t replies = 0, uint32_t source = 0);
    void answerFrom(const char* dotted, const char* source, uint32_t status = 0);

    platform::EchoOpenResult open() override;

    static uint32_t value(const char* dotted); // as AddressToLong gives it

    std::map<uint32_t, platform::EchoReply> script;
    std::vector<Sent> sent;
    int opened = 0;
    int openHandles = 0;
    std::string refusal; // non-empty: open() refuses with this text
    int waitMs = 0;      // how long each send takes, as a network would (on the sweep's worker thread)
    std::function<void(uint32_t destination)> onClosed;
};

} // namespace kestrion::test
