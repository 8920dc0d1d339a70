#pragma once

#include "platform/EchoService.h"
#include "platform/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrion::platform {

// The echo service on Linux ICMP sockets: an ICMP datagram ("ping") socket where
// net.ipv4.ping_group_range admits the process's group, a raw socket (CAP_NET_RAW) otherwise.
// Each handle is one socket, opened in the network namespace of the calling thread; sends judge
// "is this error from our own address" against that namespace too.
class IcmpSocketEcho : public EchoService {
public:
    enum class SocketKind { Auto, DatagramOnly, RawOnly };

    explicit IcmpSocketEcho(SocketKind kind = SocketKind::Auto) : kind_(kind) {}
    // keptRaw: a raw ICMP socket opened while the process still held cap_net_raw (PrivilegeDrop); used,
    // through a copy per handle, where a raw socket can no longer be opened.
    IcmpSocketEcho(UniqueFd keptRaw, SocketKind kind) : kind_(kind), keptRaw_(std::move(keptRaw)) {}

    EchoOpenResult open() override;
    // One socket of the same kind for many requests at once (the parallel prober).
    EchoBatchOpenResult openBatch() override;

    // The kind of socket the last successful open() used (Auto until then).
    SocketKind lastOpenedKind() const { return lastOpened_; }

    // What the user is told when no ICMP socket can be opened; errno values of both attempts
    // (0 where that kind was not tried).
    static std::string refusalText(int datagramError, int rawError);

    // A raw ICMP socket filtered to echo replies and errors, or none with errno in `error`.
    static UniqueFd openRawSocket(int& error);

private:
    // The socket open() and openBatch() use; none, with the refusal in `error`, when neither kind opens.
    UniqueFd openSocket(bool& raw, std::string& error);

    SocketKind kind_;
    UniqueFd keptRaw_;
    SocketKind lastOpened_ = SocketKind::Auto;
    // Shared by every channel this service opens (and kept by those that outlive it), so that a reply
    // meant for an earlier request (a late or duplicated answer) never matches a later one, whichever
    // channel sent it: raw sockets all see every reply, with the same identifier. Another service
    // counts on its own.
    std::shared_ptr<std::atomic<uint16_t>> nextSequence_ = std::make_shared<std::atomic<uint16_t>>(1);
};

} // namespace kestrion::platform
