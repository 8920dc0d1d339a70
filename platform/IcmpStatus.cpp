#include "platform/IcmpStatus.h"

#include <cerrno>
#include <netinet/ip_icmp.h>

namespace kestrion::platform {

namespace {

uint32_t statusForIcmp(uint8_t type, uint8_t code) {
    using namespace echo_status;
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_UNR_TOS:
            return DestNetUnreachable;
        case ICMP_PROT_UNREACH:
        case ICMP_NET_ANO:
        case ICMP_HOST_ANO:
        case ICMP_PKT_FILTERED:
        case ICMP_PREC_VIOLATION:
        case ICMP_PREC_CUTOFF:
            return DestProhibited;
        case ICMP_PORT_UNREACH:
            return DestPortUnreachable;
        case ICMP_FRAG_NEEDED:
            return PacketTooBig;
        default: // host unreachable and its variants (source route, unknown, isolated, TOS)
            return DestHostUnreachable;
        }
    case ICMP_TIME_EXCEEDED:
        return TtlExpiredTransit;
    case ICMP_PARAMETERPROB:
        return ParameterProblem;
    default:
        return GeneralFailure;
    }
}

} // namespace

EchoReply replyForIcmpError(const IcmpError& error) {
    // Our own stack reports "host unreachable" when a neighbour on the local link never answered
    // address resolution: nobody uses that address, which is what a time-out says.
    if (error.offenderIsOwnAddress && error.type == ICMP_DEST_UNREACH && error.code == ICMP_HOST_UNREACH)
        return timedOutReply();
    return EchoReply{error.offender, statusForIcmp(error.type, error.code), 0, 1};
}

EchoReply replyForSendError(int error) {
    using namespace echo_status;
    switch (error) {
    case ENETUNREACH:
        return EchoReply{0, DestNetUnreachable, 0, 0};
    case EHOSTUNREACH:
        return EchoReply{0, DestHostUnreachable, 0, 0};
    default: // EACCES (prohibit route), EINVAL (blackhole route), ENOBUFS, EMSGSIZE ...
        return EchoReply{0, GeneralFailure, 0, 0};
    }
}

EchoReply timedOutReply() {
    return EchoReply{0, echo_status::TimedOut, 0, 0};
}

} // namespace kestrion::platform
