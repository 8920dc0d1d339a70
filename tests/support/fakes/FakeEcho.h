#pragma once

#include "platform/EchoService.h"

#include <chrono>
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
    // One handle for many requests: each request is due `batchDelay` after its send, and the due ones
    // are answered one per receive() in an order drawn from `seed` (unscripted ones time out).
    platform::EchoBatchOpenResult openBatch() override;

    static uint32_t value(const char* dotted); // as AddressToLong gives it

    std::map<uint32_t, platform::EchoReply> script;
    std::vector<Sent> sent;
    int opened = 0;
    int openHandles = 0;
    std::string refusal; // non-empty: open() refuses with this text
    int waitMs = 0;      // how long each send takes, as a network would (on the sweep's worker thread)
    std::function<void(uint32_t destination)> onClosed;
    // Batches: how many are open now, the most requests that were outstanding at once, and what was
    // still outstanding when the last batch closed.
    int openBatches = 0;
    size_t mostOutstanding = 0;
    size_t outstandingAtClose = 0;
    unsigned seed = 1;
    std::chrono::milliseconds batchDelay{0}; // a batch's request is answered this long after its send
    bool batchRefused = false;               // openBatch() refuses with `refusal` or a text of its own
};

} // namespace kestrion::test
