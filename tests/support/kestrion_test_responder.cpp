// kestrion-test-responder: answers ICMP echo requests on a raw socket the way a test asks for,
// inside a namespace whose own stack ignores echo requests (net.ipv4.icmp_echo_ignore_all=1).
//
//   kestrion-test-responder --log FILE ADDRESS=MODE...
//
// Modes: answer, delay:MS, twice:MS, wrongseq, wrongid, from:ADDRESS, badsum[:MS], badsumerror,
// silent (see TestNetwork.h).
// Every echo request seen is appended to FILE as "destination payload-length checksum-ok all-T
// sequence".
// Prints "ready" once listening; runs until killed.
#include "platform/UniqueFd.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kestrion::platform::UniqueFd;

struct Rule {
    std::string mode = "silent";
    int delayMs = 0;
    in_addr_t from = 0;
};

struct Pending {
    Clock::time_point due;
    std::vector<uint8_t> packet;
    in_addr_t to;
};

uint16_t checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2)
        sum += static_cast<uint32_t>(data[length - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// A whole IP packet: echo reply with the request's identifier, sequence and data.
std::vector<uint8_t> makeReply(in_addr_t source, in_addr_t destination, const uint8_t* request, size_t length,
                               uint16_t idDelta, uint16_t seqDelta) {
    std::vector<uint8_t> packet(sizeof(iphdr) + length);
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 64;
    ip->protocol = IPPROTO_ICMP;
    ip->saddr = source;
    ip->daddr = destination;
    uint8_t* icmp = packet.data() + sizeof(iphdr);
    std::memcpy(icmp, request, length);
    icmp[0] = 0;
    icmp[2] = icmp[3] = 0;
    put16(icmp + 4, static_cast<uint16_t>(get16(request + 4) + idDelta));
    put16(icmp + 6, static_cast<uint16_t>(get16(request + 6) + seqDelta));
    put16(icmp + 2, checksum(icmp, length));
    return packet;
}

// "Host unreachable" (3/1) from source, quoting the request's IP header and its first 8 bytes.
std::vector<uint8_t> makeUnreachable(in_addr_t source, const uint8_t* request, size_t length) {
    const auto* requestIp = reinterpret_cast<const iphdr*>(request);
    const size_t quoted = std::min(length, static_cast<size_t>(requestIp->ihl * 4u + 8));
    std::vector<uint8_t> packet(sizeof(iphdr) + 8 + quoted);
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 64;
    ip->protocol = IPPROTO_ICMP;
    ip->saddr = source;
    ip->daddr = requestIp->saddr;
    uint8_t* icmp = packet.data() + sizeof(iphdr);
    icmp[0] = 3;
    icmp[1] = 1;
    std::memcpy(icmp + 8, request, quoted);
    put16(icmp + 2, checksum(icmp, 8 + quoted));
    return packet;
}

// Flips one bit of the ICMP checksum of a whole IP packet.
void corrupt(std::vector<uint8_t>& packet) {
    packet[sizeof(iphdr) + 2] ^= 0x01;
}

int fail(const char* what) {
    std::printf("%s: %s\n", what, std::strerror(errno));
    std::fflush(stdout);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // A test that dies without its destructors must not leave us answering in a deleted namespace.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        return 1;
    std::map<in_addr_t, Rule> rules;
    const char* logPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--log" && i + 1 < argc) {
            logPath = argv[++i];
            continue;
        }
        const auto eq = arg.find('=');
        in_addr address{};
        if (eq == std::string::npos || inet_pton(AF_INET, arg.substr(0, eq).c_str(), &address) != 1) {
            std::printf("bad rule %s\n", arg.c_str());
            return 2;
        }
        Rule rule;
        const std::string mode = arg.substr(eq + 1);
        const auto colon = mode.find(':');
        rule.mode = mode.substr(0, colon);
        if (colon != std::string::npos) {
            const std::string value = mode.substr(colon + 1);
            in_addr from{};
            if (rule.mode == "from" && inet_pton(AF_INET, value.c_str(), &from) == 1)
                rule.from = from.s_addr;
            else
                rule.delayMs = std::stoi(value);
        }
        rules[address.s_addr] = rule;
    }
    if (!logPath) {
        std::printf("usage: %s --log FILE ADDRESS=MODE...\n", argv[0]);
        return 2;
    }
    const UniqueFd logFile(::open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    const UniqueFd inSocket(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    const UniqueFd outSocket(
        ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW)); // we write the IP header
    if (!logFile)
        return fail("log");
    if (!inSocket || !outSocket)
        return fail("raw socket");
    const int log = logFile.get();
    const int in = inSocket.get();
    const int out = outSocket.get();
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<Pending> pending;
    alignas(iphdr) uint8_t buffer[65536];
    for (;;) {
        int waitMs = -1;
        const auto now = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->due <= now) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = it->to;
                ::sendto(out, it->packet.data(), it->packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to);
                it = pending.erase(it);
                continue;
            }
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(it->due - now).count();
            waitMs = waitMs < 0 ? static_cast<int>(ms) : std::min(waitMs, static_cast<int>(ms));
            ++it;
        }
        pollfd pfd{in, POLLIN, 0};
        if (::poll(&pfd, 1, waitMs) <= 0)
            continue;
        const ssize_t n = ::recv(in, buffer, sizeof buffer, 0);
        if (n < static_cast<ssize_t>(sizeof(iphdr)))
            continue;
        const auto* ip = reinterpret_cast<const iphdr*>(buffer);
        const size_t ipLength = static_cast<size_t>(ip->ihl) * 4;
        if (static_cast<size_t>(n) < ipLength + 8 || buffer[ipLength] != 8)
            continue;
        const uint8_t* icmp = buffer + ipLength;
        const size_t icmpLength = static_cast<size_t>(n) - ipLength;
        bool allT = true;
        for (size_t i = 8; i < icmpLength; ++i)
            allT = allT && icmp[i] == 0x54;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &ip->daddr, text, sizeof text);
        char line[128];
        const int length = std::snprintf(line, sizeof line, "%s %zu %d %d %u\n", text, icmpLength - 8,
                                         checksum(icmp, icmpLength) == 0 ? 1 : 0, allT ? 1 : 0,
                                         unsigned{icmp[6]} << 8 | icmp[7]);
        if (::write(log, line, static_cast<size_t>(length)) != length)
            return fail("log write");

        const auto found = rules.find(ip->daddr);
        if (found == rules.end())
            continue;
        const Rule& rule = found->second;
        const auto at = Clock::now();
        auto queue = [&](int delayMs, in_addr_t source, uint16_t idDelta, uint16_t seqDelta) {
            pending.push_back({at + std::chrono::milliseconds(delayMs),
                               makeReply(source, ip->saddr, icmp, icmpLength, idDelta, seqDelta), ip->saddr});
        };
        if (rule.mode == "answer")
            queue(0, ip->daddr, 0, 0);
        else if (rule.mode == "delay")
            queue(rule.delayMs, ip->daddr, 0, 0);
        else if (rule.mode == "twice") {
            queue(0, ip->daddr, 0, 0);
            queue(rule.delayMs, ip->daddr, 0, 0);
        } else if (rule.mode == "wrongseq")
            queue(0, ip->daddr, 0, 1);
        else if (rule.mode == "wrongid")
            queue(0, ip->daddr, 1, 0);
        else if (rule.mode == "from")
            queue(0, rule.from, 0, 0);
        else if (rule.mode == "badsum") {
            queue(0, ip->daddr, 0, 0);
            corrupt(pending.back().packet);
            if (rule.delayMs > 0)
                queue(rule.delayMs, ip->daddr, 0, 0);
        } else if (rule.mode == "badsumerror") {
            pending.push_back({at, makeUnreachable(ip->daddr, buffer, static_cast<size_t>(n)), ip->saddr});
            corrupt(pending.back().packet);
        }
    }
}
