#pragma once

#include "platform/EchoService.h"

#include <cstdint>

namespace kestrion::platform {

// An ICMP error that answered one of our echo requests, as the socket reported it.
struct IcmpError {
    uint8_t type = 0;
    uint8_t code = 0;
    uint32_t offender = 0;             // the error's sender, network byte order as stored in memory
    bool offenderIsOwnAddress = false; // our own stack gave up on the next hop
};

// The reply record for an echo request that an ICMP error answered.
EchoReply replyForIcmpError(const IcmpError& error);

// The reply record for an echo request the kernel refused to send (errno of sendto).
EchoReply replyForSendError(int error);

// The reply record when nothing matching arrived before the deadline.
EchoReply timedOutReply();

} // namespace kestrion::platform
