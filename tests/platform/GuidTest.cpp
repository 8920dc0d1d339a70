#include "platform/com/Com.h"
#include "resolver/IWSResolver.h"

#include <gtest/gtest.h>

using kestrion::com::GUID;

TEST(Guid, TextRoundTripKeepsEveryByte) {
    const std::string text = "{E5A8F01F-2348-11D2-9360-0000F6606C80}";
    const auto parsed = GUID::parse(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, kestrion::resolver::CLSID_WSResolver);
    EXPECT_EQ(parsed->toString(), text);
    EXPECT_EQ(GUID::parse("e5a8f01f-2348-11d2-9360-0000f6606c80"), parsed);
}

TEST(Guid, MalformedTextsAreRefused) {
    for (const char* bad :
         {"", "{E5A8F01F-2348-11D2-9360-0000F6606C8}", "{E5A8F01F+2348-11D2-9360-0000F6606C80}",
          "{G5A8F01F-2348-11D2-9360-0000F6606C80}", "E5A8F01F234811D293600000F6606C80"})
        EXPECT_FALSE(GUID::parse(bad)) << bad;
}
