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
#include <iterator>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

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

// How often a send on a shared socket is tried again after a failure that may be an earlier request's
// pending error; several errors may have come in since the last send.
constexpr int kPendingErrorTries = 8;

// One packet read from the socket that answers one of our requests, before it is matched to one.
struct Received {
    std::optional<uint16_t> sequence; // none: a queued error that quotes no echo header
    uint32_t quotedDestination = 0;   // the request's destination where the packet quotes it, else 0
    EchoReply reply;                  // without its round-trip time
};

// The socket of a channel or a batch: builds and sends requests, reads what answers them. Both the
// one-request channel and the batch judge packets here, so they see the same replies and errors.
class IcmpSocket {
public:
    IcmpSocket(UniqueFd fd, bool raw)
        : fd_(std::move(fd)), raw_(raw), identifier_(static_cast<uint16_t>(getpid())) {}

    int fd() const { return fd_.get(); }

    // 0 when sent, else the errno of sendto. `shared`: the socket carries many requests at once.
    int send(uint32_t destination, uint16_t sequence, const std::vector<uint8_t>& data, bool shared = false) {
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
        bool waited = false;
        int pending = 0;
        for (;;) {
            if (::sendto(fd_.get(), packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to) >= 0)
                return 0;
            const int error = errno;
            // A full send buffer (many requests at once) is a wait, not a failure of this address.
            if (shared && (error == EAGAIN || error == EWOULDBLOCK) && !waited) {
                waited = true;
                pollfd pfd{fd_.get(), POLLOUT, 0};
                ::poll(&pfd, 1, 100);
                continue;
            }
            // An ICMP error for an earlier request of a shared socket is also left on the socket as its
            // pending error (sk_err: always with IP_RECVERR, for "prohibited" on a raw socket too), and
            // the next send returns it once instead of sending. It belongs to that earlier request, whose
            // answer comes through the error queue or as a packet; this request goes out on the next try.
            // A failure of this send's own (no route) fails every try alike.
            if (shared && pending++ < kPendingErrorTries)
                continue;
            return error;
        }
    }

    // Reads every packet waiting (the error queue first: POLLERR stays raised until it is drained) and
    // hands each that answers one of ours to `take`; stops as soon as `take` returns true.
    template <typename Take> void drain(short revents, Take take) {
        if ((revents & POLLERR) && readErrorQueue(take))
            return;
        if (revents & POLLIN) {
            if (raw_)
                readRaw(take);
            else
                readDatagram(take);
        }
    }

private:
    // Datagram sockets: the kernel hands us only replies carrying our identifier, without IP header.
    template <typename Take> void readDatagram(Take& take) {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(fd_.get(), buffer_, sizeof buffer_, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0)
                return;
            if (n >= static_cast<ssize_t>(IcmpHeaderSize) && buffer_[0] == EchoReplyType &&
                take(Received{readU16(buffer_ + 6), 0,
                              EchoReply{from.sin_addr.s_addr, echo_status::Success, 0, 1}}))
                return;
        }
    }

    // Raw sockets see every ICMP packet of the namespace (our own requests on loopback, other
    // programs' traffic), so everything is matched on identifier and sequence.
    template <typename Take> void readRaw(Take& take) {
        for (;;) {
            const ssize_t n = ::recv(fd_.get(), buffer_, sizeof buffer_, MSG_DONTWAIT);
            if (n < 0)
                return;
            if (const std::optional<Received> answer = matchRaw(static_cast<size_t>(n));
                answer && take(*answer))
                return;
        }
    }

    std::optional<Received> matchRaw(size_t length) const {
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
            if (readU16(icmp + 4) == identifier_)
                return Received{readU16(icmp + 6), 0, EchoReply{ip.saddr, echo_status::Success, 0, 1}};
            return std::nullopt;
        }
        // An error quotes the IP header of our request and its first 8 bytes: the echo header.
        const uint8_t* quoted = icmp + IcmpHeaderSize;
        const size_t quotedLength = length - ipLength - IcmpHeaderSize;
        if (quotedLength < sizeof(iphdr))
            return std::nullopt;
        const iphdr inner = readIpHeader(quoted);
        const size_t innerLength = static_cast<size_t>(inner.ihl) * 4;
        if (quotedLength < innerLength + IcmpHeaderSize || inner.protocol != IPPROTO_ICMP || inner.daddr == 0)
            return std::nullopt;
        const uint8_t* request = quoted + innerLength;
        if (request[0] != EchoRequest || readU16(request + 4) != identifier_)
            return std::nullopt;
        const bool own = ip.saddr == inner.saddr || isOwnAddress(ip.saddr);
        return Received{readU16(request + 6), inner.daddr,
                        replyForIcmpError(IcmpError{icmp[0], icmp[1], ip.saddr, own})};
    }

    // Datagram sockets with IP_RECVERR: the ICMP errors for our requests wait in the error queue.
    // True when `take` took one.
    template <typename Take> bool readErrorQueue(Take& take) {
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
                return false;
            }
            // The queue quotes the echo header we sent, and names the request's destination.
            std::optional<uint16_t> sequence;
            if (n >= static_cast<ssize_t>(IcmpHeaderSize) && payload[0] == EchoRequest)
                sequence = readU16(payload + 6);
            const uint32_t quoted =
                msg.msg_namelen >= sizeof from && from.sin_family == AF_INET ? from.sin_addr.s_addr : 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto* ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
                if (ee->ee_origin == SO_EE_ORIGIN_LOCAL) {
                    if (take(Received{sequence, quoted, replyForSendError(static_cast<int>(ee->ee_errno))}))
                        return true;
                    break;
                }
                if (ee->ee_origin != SO_EE_ORIGIN_ICMP)
                    continue;
                const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(ee));
                const uint32_t source = offender->sin_family == AF_INET ? offender->sin_addr.s_addr : 0;
                if (take(Received{sequence, quoted,
                                  replyForIcmpError(
                                      IcmpError{ee->ee_type, ee->ee_code, source, isOwnAddress(source)})}))
                    return true;
                break;
            }
        }
    }

    UniqueFd fd_;
    bool raw_;
    uint16_t identifier_;
    uint8_t buffer_[65536];
};

timespec untilDeadline(Clock::time_point now, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
    return timespec{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
}

class IcmpSocketChannel : public EchoChannel {
public:
    IcmpSocketChannel(UniqueFd fd, bool raw, std::shared_ptr<std::atomic<uint16_t>> nextSequence)
        : socket_(std::move(fd), raw), nextSequence_(std::move(nextSequence)) {}

    EchoReply send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs) override {
        const uint16_t sequence = nextSequence_->fetch_add(1);
        const auto start = Clock::now();
        const auto deadline = start + std::chrono::milliseconds(std::max(timeoutMs, 0));
        if (const int error = socket_.send(destination, sequence, data))
            return replyForSendError(error);

        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline)
                return timedOutReply();
            const timespec wait = untilDeadline(now, deadline);
            pollfd pfd{socket_.fd(), POLLIN, 0};
            const int ready = ::ppoll(&pfd, 1, &wait, nullptr);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return EchoReply{0, echo_status::GeneralFailure, 0, 0};
            }
            if (ready == 0)
                continue; // the loop head decides, so a wake-up a hair early never ends the wait
            std::optional<EchoReply> outcome;
            socket_.drain(pfd.revents, [&](const Received& answer) {
                if ((answer.sequence && *answer.sequence != sequence) ||
                    (answer.quotedDestination != 0 && answer.quotedDestination != destination))
                    return false; // an answer to an earlier request is stale
                outcome = answer.reply;
                return true;
            });
            if (outcome) {
                if (outcome->status != echo_status::TimedOut)
                    outcome->roundTripTime = elapsedMs(start);
                return *outcome;
            }
        }
    }

private:
    IcmpSocket socket_;
    std::shared_ptr<std::atomic<uint16_t>> nextSequence_;
};

// Many requests on one socket; each is known by its sequence number while it waits.
class IcmpSocketBatch : public EchoBatch {
public:
    IcmpSocketBatch(UniqueFd fd, bool raw, std::shared_ptr<std::atomic<uint16_t>> nextSequence)
        : socket_(std::move(fd), raw), nextSequence_(std::move(nextSequence)) {}

    std::optional<EchoReply> send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs,
                                  uint32_t tag) override {
        // A number still waiting is skipped, so that an answer never finds two requests (after a wrap).
        uint16_t sequence = nextSequence_->fetch_add(1);
        while (waiting_.contains(sequence))
            sequence = nextSequence_->fetch_add(1);
        const auto start = Clock::now();
        if (const int error = socket_.send(destination, sequence, data, true))
            return replyForSendError(error);
        waiting_.emplace(sequence, Waiting{tag, destination, start,
                                           start + std::chrono::milliseconds(std::max(timeoutMs, 0))});
        ++waitingFor_[destination];
        return std::nullopt;
    }

    std::vector<Answer> receive(Clock::time_point until) override {
        std::vector<Answer> answers;
        // What already waits in the socket is read before any deadline is judged: a caller busy
        // elsewhere (a box, a slow frame) must not turn replies that came in time into time-outs.
        pollfd queued{socket_.fd(), POLLIN, 0};
        if (::poll(&queued, 1, 0) > 0)
            socket_.drain(queued.revents, [&](const Received& answer) {
                take(answer, answers);
                return false;
            });
        for (;;) {
            auto now = Clock::now();
            expire(now, answers);
            if (!answers.empty() || now >= until)
                return answers;
            Clock::time_point wake = until;
            for (const auto& [sequence, request] : waiting_)
                wake = std::min(wake, request.deadline);
            const timespec wait = untilDeadline(now, wake);
            pollfd pfd{socket_.fd(), POLLIN, 0};
            const int ready = ::ppoll(&pfd, 1, &wait, nullptr);
            if (ready < 0 && errno != EINTR) {
                failAll(answers);
                return answers;
            }
            if (ready <= 0)
                continue;
            socket_.drain(pfd.revents, [&](const Received& answer) {
                take(answer, answers);
                return false;
            });
        }
    }

    size_t outstanding() const override { return waiting_.size(); }

private:
    struct Waiting {
        uint32_t tag;
        uint32_t destination;
        Clock::time_point start;
        Clock::time_point deadline;
    };

    void take(const Received& answer, std::vector<Answer>& answers) {
        if (!answer.sequence)
            return; // an error that names no request cannot be given to one
        const auto found = waiting_.find(*answer.sequence);
        if (found == waiting_.end())
            return; // late, duplicated, or not ours
        const Waiting& request = found->second;
        if (answer.quotedDestination != 0 && answer.quotedDestination != request.destination)
            return;
        // A reply from another address we are still waiting for carries that host's wrong sequence
        // number (one after its own, say), not an answer to this request: it is dropped, as the
        // sequential sweep drops it, and never mixed into this address's row. A reply from an address
        // not waited for stays "a reply from another host", as in the sequential sweep.
        if (answer.reply.status == echo_status::Success && answer.reply.address != request.destination &&
            waitingFor_.contains(answer.reply.address))
            return;
        EchoReply reply = answer.reply;
        if (reply.status != echo_status::TimedOut)
            reply.roundTripTime = elapsedMs(request.start);
        answers.push_back({request.tag, reply});
        forget(found);
    }

    void forget(std::unordered_map<uint16_t, Waiting>::iterator request) {
        if (const auto left = waitingFor_.find(request->second.destination);
            left != waitingFor_.end() && --left->second == 0)
            waitingFor_.erase(left);
        waiting_.erase(request);
    }

    void expire(Clock::time_point now, std::vector<Answer>& answers) {
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            if (it->second.deadline <= now) {
                answers.push_back({it->second.tag, timedOutReply()});
                const auto next = std::next(it);
                forget(it);
                it = next;
            } else {
                ++it;
            }
        }
    }

    void failAll(std::vector<Answer>& answers) {
        for (const auto& [sequence, request] : waiting_)
            answers.push_back({request.tag, EchoReply{0, echo_status::GeneralFailure, 0, 0}});
        waiting_.clear();
        waitingFor_.clear();
    }

    IcmpSocket socket_;
    std::shared_ptr<std::atomic<uint16_t>> nextSequence_;
    std::unordered_map<uint16_t, Waiting> waiting_;
    std::unordered_map<uint32_t, int> waitingFor_; // destination: requests to it still waiting
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

UniqueFd IcmpSocketEcho::openSocket(bool& raw, std::string& error) {
    int datagramError = 0;
    int rawError = 0;
    if (kind_ != SocketKind::RawOnly) {
        if (UniqueFd fd = openDatagram(datagramError)) {
            lastOpened_ = SocketKind::DatagramOnly;
            raw = false;
            return fd;
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
            raw = true;
            return fd;
        }
    }
    error = refusalText(datagramError, rawError);
    return UniqueFd();
}

EchoOpenResult IcmpSocketEcho::open() {
    bool raw = false;
    std::string error;
    UniqueFd fd = openSocket(raw, error);
    if (!fd)
        return {nullptr, error};
    return {std::make_unique<IcmpSocketChannel>(std::move(fd), raw, nextSequence_), {}};
}

EchoBatchOpenResult IcmpSocketEcho::openBatch() {
    bool raw = false;
    std::string error;
    UniqueFd fd = openSocket(raw, error);
    if (!fd)
        return {nullptr, error};
    // Answers to a whole block may wait between two reads (a raw socket on loopback also gets our own
    // requests); the kernel caps the size at net.core.rmem_max, which is room enough for a /24.
    const int size = 1 << 20;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return {std::make_unique<IcmpSocketBatch>(std::move(fd), raw, nextSequence_), {}};
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
