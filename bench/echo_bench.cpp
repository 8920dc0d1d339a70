// Sweeps 127.0.0.1 to 127.0.0.254 one address after another with the echo service, inside a
// network namespace of its own (loopback only), and reports what the service itself costs:
// the sweep's wall time minus the round-trip times it measured, per address. Needs root.
#include "platform/IcmpSocketEcho.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace kestrion::platform;
using Kind = IcmpSocketEcho::SocketKind;

namespace {

constexpr int Addresses = 254;
constexpr int Runs = 5;
constexpr double TargetMsPerAddress = 0.2;

bool bringLoopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

struct Sweep {
    double wallMs = 0;
    double rttSumMs = 0;
    int answered = 0;
};

Sweep sweep(IcmpSocketEcho& service, const std::vector<uint8_t>& data) {
    Sweep result;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 1; n <= Addresses; ++n) {
        const uint32_t destination = htonl(0x7f000000u | static_cast<uint32_t>(n));
        EchoOpenResult opened = service.open();
        if (!opened.channel)
            continue;
        const EchoReply reply = opened.channel->send(destination, data, 1000);
        if (reply.status == echo_status::Success)
            ++result.answered;
        result.rttSumMs += reply.roundTripTime;
    }
    result.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool report(const char* name, Kind kind) {
    IcmpSocketEcho service(kind);
    const EchoOpenResult probe = service.open();
    if (!probe.channel) {
        std::printf("%-9s cannot open: %s\n", name, probe.error.c_str());
        return false;
    }
    const std::vector<uint8_t> data(32, 'T');
    std::vector<double> wall, rtt, overhead;
    bool allAnswered = true;
    for (int run = 0; run < Runs; ++run) {
        const Sweep s = sweep(service, data);
        allAnswered = allAnswered && s.answered == Addresses;
        wall.push_back(s.wallMs);
        rtt.push_back(s.rttSumMs);
        overhead.push_back((s.wallMs - s.rttSumMs) / Addresses);
    }
    const double perAddress = median(overhead);
    std::printf(
        "%-9s wall %7.2f ms  rtt sum %4.0f ms  overhead %.4f ms/address  (median of %d, all answered: %s)"
        "  %s\n",
        name, median(wall), median(rtt), perAddress, Runs, allAnswered ? "yes" : "NO",
        perAddress < TargetMsPerAddress ? "under target" : "ABOVE TARGET");
    return allAnswered && perAddress < TargetMsPerAddress;
}

} // namespace

int main() {
    // A namespace of our own: nothing but loopback, gone when the process ends.
    if (::unshare(CLONE_NEWNET) != 0 || !bringLoopbackUp()) {
        std::fprintf(stderr, "echo_bench needs root for a network namespace of its own: %s\n",
                     std::strerror(errno));
        return 2;
    }
    bool ok = report("raw", Kind::RawOnly);
    std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "0 2147483647\n";
    ok = report("datagram", Kind::DatagramOnly) && ok;
    return ok ? 0 : 1;
}
