#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrion::platform {

// Status codes of one echo attempt. They are the codes the sweep judges by.
namespace echo_status {
constexpr uint32_t Success = 0;
constexpr uint32_t DestNetUnreachable = 11002;
constexpr uint32_t DestHostUnreachable = 11003;
constexpr uint32_t DestProhibited = 11004;
constexpr uint32_t DestPortUnreachable = 11005;
constexpr uint32_t PacketTooBig = 11009;
constexpr uint32_t TimedOut = 11010;
constexpr uint32_t TtlExpiredTransit = 11013;
constexpr uint32_t ParameterProblem = 11015;
constexpr uint32_t BadDestination = 11018;
constexpr uint32_t GeneralFailure = 11050;
} // namespace echo_status

// The outcome of one echo request: the fields of the reply record the sweep reads,
// plus the number of replies the send call returned.
struct EchoReply {
    uint32_t address = 0;       // source of the reply, network byte order as stored in memory
    uint32_t status = 0;        // one of echo_status
    uint32_t roundTripTime = 0; // whole milliseconds, rounded down
    uint32_t replies = 0;       // 0 when nothing (or nothing usable) came back
};

// One open echo handle. Destroying it closes it.
class EchoChannel {
public:
    virtual ~EchoChannel() = default;
    // Sends one echo request carrying `data` to `destination` (network byte order as stored in
    // memory, i.e. the value AddressToLong gives) and waits at most `timeoutMs` for the answer.
    virtual EchoReply send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs) = 0;
};

struct EchoOpenResult {
    std::unique_ptr<EchoChannel> channel; // null when no echo handle can be had
    std::string error;                    // why not, with the remedies, when channel is null
};

// Many echo requests on one handle, answered in any order: what the parallel prober sends through.
// Every request gets exactly one answer: its reply, an error that quotes it, or a time-out at its
// deadline. Answers that match no request still waiting (late, duplicated, foreign) are dropped.
class EchoBatch {
public:
    using Clock = std::chrono::steady_clock;

    struct Answer {
        uint32_t tag; // the caller's tag given to send()
        EchoReply reply;
    };

    virtual ~EchoBatch() = default;
    // Sends one request carrying `data` to `destination`, to be answered within `timeoutMs`. A request
    // the kernel refuses is answered at once: its reply comes back here and nothing stays outstanding.
    virtual std::optional<EchoReply> send(uint32_t destination, const std::vector<uint8_t>& data,
                                          int timeoutMs, uint32_t tag) = 0;
    // Waits until `until` at most, and returns as soon as some requests are answered or time out.
    virtual std::vector<Answer> receive(Clock::time_point until) = 0;
    // Requests sent and not yet answered.
    virtual size_t outstanding() const = 0;
};

struct EchoBatchOpenResult {
    std::unique_ptr<EchoBatch> batch; // null when none can be had
    std::string error;                // why not, when batch is null
};

// The platform's echo service: open a handle, send one echo and wait, close.
class EchoService {
public:
    virtual ~EchoService() = default;
    virtual EchoOpenResult open() = 0;
    // A handle for many requests at once; a service that sends one at a time has none.
    virtual EchoBatchOpenResult openBatch() {
        return {nullptr, "This echo service sends one request at a time."};
    }
};

} // namespace kestrion::platform
