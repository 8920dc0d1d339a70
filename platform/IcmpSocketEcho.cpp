#include "platform/IcmpSocketEcho.h"

#include "platform/IcmpStatus.h"
#include "platform/ProgramPath.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrion::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t IcmpHeaderSize = 8;
constexpr uint8_t EchoRequest = 8;
constexpr uint8_t EchoReplyType = 0;

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Packets sit at any byte offset of the receive buffer; the header is copied out, never cast in place.
iphdr readIpHeader(const uint8_t* p) {
    iphdr header{};
    std::memcpy(&header, p, sizeof header);
    return header;
}

void writeU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint16_t internetChecksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        sum += readU16(data + i);
    if (i < length) // an odd final byte counts as the high half of a padded word
        sum += static_cast<uint32_t>(data[i]) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

bool isOwnAddress(uint32_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (ifaddrs* ifa = list; ifa && !found; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr && ifa->ifa_addr->sa_family == AF_INET)
            found = reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr == address;
    }
    freeifaddrs(list);
    return found;
}

uint32_t elapsedMs(Clock::time_point since) {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class IcmpSocketChannel : public EchoChannel {
public:
    IcmpSocketChannel(UniqueFd fd, bool raw, std::shared_ptr<std::atomic<uint16_t>> nextSequence)
        : fd_(std::move(fd)), raw_(raw), nextSequence_(std::move(nextSequence)) {
        identifier_ = static_cast<uint16_t>(getpid());
    }

    EchoReply send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs) override {
        const uint16_t sequence = nextSequence_->fetch_add(1);
        std::vector<uint8_t> packet(IcmpHeaderSize + data.size());
        packet[0] = EchoRequest;
        // On a datagram socket the kernel puts in the identifier and the checksum.
        writeU16(&packet[4], raw_ ? identifier_ : 0);
        writeU16(&packet[6], sequence);
        std::copy(data.begin(), data.end(), packet.begin() + IcmpHeaderSize);
        if (raw_)
            writeU16(&packet[2], internetChecksum(packet.data(), packet.size()));

        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = destination;

        const auto start = Clock::now();
        const auto deadline = start + std::chrono::milliseconds(std::max(timeoutMs, 0));
        if (::sendto(fd_.get(), packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to) < 0)
            return replyForSendError(errno);

        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline)
                return timedOutReply();
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
            const timespec wait{static_cast<time_t>(left / 1'000'000'000),
                                static_cast<long>(left % 1'000'000'000)};
            pollfd pfd{fd_.get(), POLLIN, 0};
            const int ready = ::ppoll(&pfd, 1, &wait, nullptr);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return EchoReply{0, echo_status::GeneralFailure, 0, 0};
            }
            if (ready == 0)
                continue; // the loop head decides, so a wake-up a hair early never ends the wait
            std::optional<EchoReply> outcome;
            // The error queue first: POLLERR stays raised until it is drained.
            if (pfd.revents & POLLERR)
                outcome = readErrorQueue(sequence);
            if (!outcome && (pfd.revents & POLLIN))
                outcome = raw_ ? readRaw(destination, sequence) : readDatagram(sequence);
            if (outcome) {
                if (outcome->status != echo_status::TimedOut)
                    outcome->roundTripTime = elapsedMs(start);
                return *outcome;
            }
        }
    }

private:
    // Datagram sockets: the kernel hands us only replies carrying our identifier, without IP header.
    std::optional<EchoReply> readDatagram(uint16_t sequence) {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(fd_.get(), buffer_, sizeof buffer_, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0)
                return std::nullopt;
            if (n >= static_cast<ssize_t>(IcmpHeaderSize) && buffer_[0] == EchoReplyType &&
                readU16(buffer_ + 6) == sequence)
                return EchoReply{from.sin_addr.s_addr, echo_status::Success, 0, 1};
        }
    }

    // Raw sockets see every ICMP packet of the namespace (our own requests on loopback, other
    // programs' traffic), so everything is matched on identifier and sequence.
    std::optional<EchoReply> readRaw(uint32_t destination, uint16_t sequence) {
        for (;;) {
            const ssize_t n = ::recv(fd_.get(), buffer_, sizeof buffer_, MSG_DONTWAIT);
            if (n < 0)
                return std::nullopt;
            if (auto outcome = matchRaw(static_cast<size_t>(n), destination, sequence))
                return outcome;
        }
    }

    std::optional<EchoReply> matchRaw(size_t length, uint32_t destination, uint16_t sequence) const {
        if (length < sizeof(iphdr))
            return std::nullopt;
        const iphdr ip = readIpHeader(buffer_);
        const size_t ipLength = static_cast<size_t>(ip.ihl) * 4;
        if (length < ipLength + IcmpHeaderSize)
            return std::nullopt;
        const uint8_t* icmp = buffer_ + ipLength;
        // The kernel hands a raw socket its copy before it checks the ICMP checksum itself (a ping
        // socket gets only packets that passed), so a corrupted reply or error is ours to drop.
        if (internetChecksum(icmp, length - ipLength) != 0)
            return std::nullopt;
        if (icmp[0] == EchoReplyType) {
            if (readU16(icmp + 4) == identifier_ && readU16(icmp + 6) == sequence)
                return EchoReply{ip.saddr, echo_status::Success, 0, 1};
            return std::nullopt;
        }
        // An error quotes the IP header of our request and its first 8 bytes: the echo header.
        const uint8_t* quoted = icmp + IcmpHeaderSize;
        const size_t quotedLength = length - ipLength - IcmpHeaderSize;
        if (quotedLength < sizeof(iphdr))
            return std::nullopt;
        const iphdr inner = readIpHeader(quoted);
        const size_t innerLength = static_cast<size_t>(inner.ihl) * 4;
        if (quotedLength < innerLength + IcmpHeaderSize || inner.protocol != IPPROTO_ICMP ||
            inner.daddr != destination)
            return std::nullopt;
        const uint8_t* request = quoted + innerLength;
        if (request[0] != EchoRequest || readU16(request + 4) != identifier_ ||
            readU16(request + 6) != sequence)
            return std::nullopt;
        const bool own = ip.saddr == inner.saddr || isOwnAddress(ip.saddr);
        return replyForIcmpError(IcmpError{icmp[0], icmp[1], ip.saddr, own});
    }

    // Datagram sockets with IP_RECVERR: the ICMP errors for our requests wait in the error queue.
    std::optional<EchoReply> readErrorQueue(uint16_t sequence) {
        for (;;) {
            uint8_t payload[64];
            alignas(cmsghdr) char control[512];
            sockaddr_in from{};
            iovec iov{payload, sizeof payload};
            msghdr msg{};
            msg.msg_name = &from;
            msg.msg_namelen = sizeof from;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(fd_.get(), &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
            if (n < 0) {
                // A pending socket error with an empty queue would keep poll waking us up.
                int pending = 0;
                socklen_t size = sizeof pending;
                ::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &pending, &size);
                return std::nullopt;
            }
            // The queue quotes the echo header we sent; an error for another sequence is stale.
            if (n >= static_cast<ssize_t>(IcmpHeaderSize) && payload[0] == EchoRequest &&
                readU16(payload + 6) != sequence)
                continue;
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto* ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
                if (ee->ee_origin == SO_EE_ORIGIN_LOCAL)
                    return replyForSendError(static_cast<int>(ee->ee_errno));
                if (ee->ee_origin != SO_EE_ORIGIN_ICMP)
                    continue;
                const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(ee));
                const uint32_t source = offender->sin_family == AF_INET ? offender->sin_addr.s_addr : 0;
                return replyForIcmpError(IcmpError{ee->ee_type, ee->ee_code, source, isOwnAddress(source)});
            }
        }
    }

    UniqueFd fd_;
    bool raw_;
    std::shared_ptr<std::atomic<uint16_t>> nextSequence_;
    uint16_t identifier_;
    uint8_t buffer_[65536];
};

UniqueFd openDatagram(int& error) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP));
    if (!fd) {
        error = errno;
        return fd;
    }
    // Without IP_RECVERR a ping socket drops the ICMP errors that answer its requests.
    const int on = 1;
    if (::setsockopt(fd.get(), SOL_IP, IP_RECVERR, &on, sizeof on) != 0) {
        error = errno;
        return UniqueFd();
    }
    return fd;
}

} // namespace

UniqueFd IcmpSocketEcho::openRawSocket(int& error) {
    UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP));
    if (!fd) {
        error = errno;
        return fd;
    }
    // Keep only the types that can answer an echo request; the filter names what to drop.
    icmp_filter filter{};
    filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
                    (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
    if (::setsockopt(fd.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0) {
        error = errno;
        return UniqueFd();
    }
    return fd;
}

namespace {

void drainQueue(int fd) {
    uint8_t scratch[1024];
    while (::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) >= 0) {
    }
}

bool isPermissionError(int error) {
    return error == 0 || error == EACCES || error == EPERM;
}

} // namespace

EchoOpenResult IcmpSocketEcho::open() {
    int datagramError = 0;
    int rawError = 0;
    if (kind_ != SocketKind::RawOnly) {
        if (UniqueFd fd = openDatagram(datagramError)) {
            lastOpened_ = SocketKind::DatagramOnly;
            return {std::make_unique<IcmpSocketChannel>(std::move(fd), false, nextSequence_), {}};
        }
    }
    if (kind_ != SocketKind::DatagramOnly) {
        UniqueFd fd = openRawSocket(rawError);
        // Without the capability now, the raw socket opened with it at start serves: a copy of it, with
        // whatever came in since the last sweep thrown away.
        if (!fd && keptRaw_) {
            fd = UniqueFd(::fcntl(keptRaw_.get(), F_DUPFD_CLOEXEC, 0));
            if (fd)
                drainQueue(fd.get());
        }
        if (fd) {
            lastOpened_ = SocketKind::RawOnly;
            return {std::make_unique<IcmpSocketChannel>(std::move(fd), true, nextSequence_), {}};
        }
    }
    return {nullptr, refusalText(datagramError, rawError)};
}

std::string IcmpSocketEcho::refusalText(int datagramError, int rawError) {
    if (!isPermissionError(rawError))
        return "Kestrion cannot open an ICMP socket to send echo requests: " +
               std::string(std::strerror(rawError)) + ".";
    const std::string setcapLine = "    sudo setcap cap_net_raw+ep " + programPath();
    if (!isPermissionError(datagramError))
        // This kernel offers no ICMP datagram sockets, so the sysctl would not help; the raw socket would.
        return "Kestrion is not allowed to send ICMP echo requests on this computer: this system has no "
               "ICMP datagram sockets (" +
               std::string(std::strerror(datagramError)) +
               ") and it may not open a raw socket.\n"
               "Give the program the right to open raw sockets:\n" +
               setcapLine;
    return "Kestrion is not allowed to send ICMP echo requests on this computer: it may open neither an ICMP "
           "datagram socket nor a raw socket.\n"
           "Either allow ICMP datagram sockets for every group:\n"
           "    sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"
           "or give the program the right to open raw sockets:\n" +
           setcapLine;
}

} // namespace kestrion::platform
