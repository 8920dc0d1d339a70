#include "platform/IcmpSocketEcho.h"
#include "platform/IcmpStatus.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>

using namespace kestrion::platform;

namespace {

uint32_t ip(const char* text) {
    return inet_addr(text);
}

struct IcmpRow {
    const char* name;
    uint8_t type;
    uint8_t code;
    bool ownAddress;
    uint32_t status;
    uint32_t replies;
    bool sourceIsOffender;
};

class IcmpErrorMapping : public ::testing::TestWithParam<IcmpRow> {};

TEST_P(IcmpErrorMapping, GivesStatusRepliesAndSource) {
    const IcmpRow& row = GetParam();
    const uint32_t offender = ip("10.1.1.1");
    const EchoReply reply = replyForIcmpError(IcmpError{row.type, row.code, offender, row.ownAddress});
    EXPECT_EQ(reply.status, row.status);
    EXPECT_EQ(reply.replies, row.replies);
    EXPECT_EQ(reply.address, row.sourceIsOffender ? offender : 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, IcmpErrorMapping,
                         ::testing::Values(IcmpRow{"NetUnreachable", 3, 0, false, 11002, 1, true},
                                           IcmpRow{"NetUnknown", 3, 6, false, 11002, 1, true},
                                           IcmpRow{"NetUnreachableForTos", 3, 11, false, 11002, 1, true},
                                           IcmpRow{"HostUnreachable", 3, 1, false, 11003, 1, true},
                                           IcmpRow{"SourceRouteFailed", 3, 5, false, 11003, 1, true},
                                           IcmpRow{"HostUnknown", 3, 7, false, 11003, 1, true},
                                           IcmpRow{"HostUnreachableForTos", 3, 12, false, 11003, 1, true},
                                           IcmpRow{"OwnStackFoundNoNeighbour", 3, 1, true, 11010, 0, false},
                                           IcmpRow{"OwnStackNetUnreachableStaysAnError", 3, 0, true, 11002, 1,
                                                   true},
                                           IcmpRow{"NetProhibited", 3, 9, false, 11004, 1, true},
                                           IcmpRow{"HostProhibited", 3, 10, false, 11004, 1, true},
                                           IcmpRow{"AdministrativelyFiltered", 3, 13, false, 11004, 1, true},
                                           IcmpRow{"PortUnreachable", 3, 3, false, 11005, 1, true},
                                           IcmpRow{"FragmentationNeeded", 3, 4, false, 11009, 1, true},
                                           IcmpRow{"TtlExceeded", 11, 0, false, 11013, 1, true},
                                           IcmpRow{"ParameterProblem", 12, 0, false, 11015, 1, true},
                                           IcmpRow{"SourceQuench", 4, 0, false, 11050, 1, true}),
                         [](const auto& row) { return std::string(row.param.name); });

struct SendErrorRow {
    const char* name;
    int error;
    uint32_t status;
};

class SendErrorMapping : public ::testing::TestWithParam<SendErrorRow> {};

TEST_P(SendErrorMapping, GivesStatusWithoutReply) {
    const EchoReply reply = replyForSendError(GetParam().error);
    EXPECT_EQ(reply.status, GetParam().status);
    EXPECT_EQ(reply.replies, 0u);
    EXPECT_EQ(reply.address, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, SendErrorMapping,
                         ::testing::Values(SendErrorRow{"NoRoute", ENETUNREACH, 11002},
                                           SendErrorRow{"UnreachableRoute", EHOSTUNREACH, 11003},
                                           SendErrorRow{"ProhibitRoute", EACCES, 11050},
                                           SendErrorRow{"BlackholeRoute", EINVAL, 11050},
                                           SendErrorRow{"NoBuffers", ENOBUFS, 11050},
                                           SendErrorRow{"TooLong", EMSGSIZE, 11050}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(EchoRefusal, PermissionFailureNamesBothRemedies) {
    for (const auto& [datagram, raw] :
         {std::pair{EACCES, EPERM}, std::pair{0, EPERM}, std::pair{EACCES, 0}}) {
        const std::string text = IcmpSocketEcho::refusalText(datagram, raw);
        EXPECT_NE(text.find("sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""), std::string::npos)
            << text;
        EXPECT_NE(text.find("setcap cap_net_raw+ep /"), std::string::npos) << text;
    }
}

TEST(EchoRefusal, WithoutDatagramSocketsTheRawRemedyIsNamed) {
    const std::string text = IcmpSocketEcho::refusalText(EPROTONOSUPPORT, EPERM);
    EXPECT_NE(text.find(std::strerror(EPROTONOSUPPORT)), std::string::npos) << text;
    EXPECT_NE(text.find("setcap cap_net_raw+ep /"), std::string::npos) << text;
    EXPECT_EQ(text.find("ping_group_range"), std::string::npos) << text;
}

TEST(EchoRefusal, OtherFailureSaysWhatWentWrong) {
    const std::string text = IcmpSocketEcho::refusalText(EACCES, EMFILE);
    EXPECT_NE(text.find(std::strerror(EMFILE)), std::string::npos) << text;
    EXPECT_EQ(text.find("setcap"), std::string::npos) << text;
}

} // namespace
