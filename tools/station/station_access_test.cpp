// Who may see the station's page and press its controls: the host names it
// answers to, the Origin and the token a control needs, and a read-only page.

#include "tools/station/station_access.h"

#include <gtest/gtest.h>

#include "engine/messages.h"

namespace {

ListenAddress Loopback() {
  ListenAddress address;
  address.host = "127.0.0.1";
  address.port = 8080;
  return address;
}

StationAccess WithControl() {
  StationAccess access;
  access.listen = Loopback();
  access.control = true;
  access.token = "0123456789abcdef0123456789abcdef";
  return access;
}

StationRequest Control(const std::string& token) {
  StationRequest request;
  request.control = true;
  request.host = "127.0.0.1:8080";
  request.origin = "http://127.0.0.1:8080";
  request.token = token;
  return request;
}

TEST(StationHost, AnswersToItsAddressesAndNoOtherName) {
  const ListenAddress listen = Loopback();
  EXPECT_TRUE(HostServed("127.0.0.1:8080", listen));
  EXPECT_TRUE(HostServed("localhost:8080", listen));
  EXPECT_TRUE(HostServed("LocalHost:8080", listen));
  // Digits cannot be made to point elsewhere; a name can (DNS rebinding).
  EXPECT_TRUE(HostServed("192.168.1.20:8080", listen));
  EXPECT_FALSE(HostServed("attacker.example:8080", listen));
  EXPECT_FALSE(HostServed("127.0.0.1.nip.io:8080", listen));
  EXPECT_FALSE(HostServed("127.0.0.1:8081", listen));
  EXPECT_FALSE(HostServed("127.0.0.1", listen));
  EXPECT_FALSE(HostServed("", listen));

  ListenAddress named;
  named.host = "station-3.plant";
  named.port = 80;
  EXPECT_TRUE(HostServed("station-3.plant:80", named));
  EXPECT_FALSE(HostServed("station-4.plant:80", named));
}

TEST(StationAccessRules, ThePageAndItsStateAreServedToTheStationsHostOnly) {
  const StationAccess access = WithControl();
  StationRequest page;
  page.host = "127.0.0.1:8080";
  EXPECT_EQ(RefusalOf(page, access), "");
  page.origin = "http://127.0.0.1:8080";
  EXPECT_EQ(RefusalOf(page, access), "");

  page.origin = "http://elsewhere.example";
  EXPECT_EQ(RefusalOf(page, access),
            FormatMessageText(MsgStationForeignOrigin, "http://elsewhere.example"));
  page.host = "rebound.example:8080";
  EXPECT_EQ(RefusalOf(page, access),
            FormatMessageText(MsgStationForeignHost, "rebound.example:8080"));
}

TEST(StationAccessRules, AControlNeedsTheStationsOriginAndItsToken) {
  const StationAccess access = WithControl();
  EXPECT_EQ(RefusalOf(Control(access.token), access), "");

  EXPECT_EQ(RefusalOf(Control(""), access), MessageText(MsgStationNoToken));
  EXPECT_EQ(RefusalOf(Control("0123456789abcdef0123456789abcdee"), access),
            MessageText(MsgStationNoToken));
  EXPECT_EQ(RefusalOf(Control(access.token + "0"), access), MessageText(MsgStationNoToken));

  StationRequest foreign = Control(access.token);
  foreign.origin = "http://evil.example";
  EXPECT_EQ(RefusalOf(foreign, access),
            FormatMessageText(MsgStationForeignOrigin, "http://evil.example"));
  // Another port of the same machine is another site.
  foreign.origin = "http://127.0.0.1:9000";
  EXPECT_EQ(RefusalOf(foreign, access),
            FormatMessageText(MsgStationForeignOrigin, "http://127.0.0.1:9000"));
  StationRequest noOrigin = Control(access.token);
  noOrigin.origin.clear();
  EXPECT_EQ(RefusalOf(noOrigin, access),
            FormatMessageText(MsgStationForeignOrigin, "an unknown page"));
}

TEST(StationAccessRules, AReadOnlyPageControlsNothingWhateverItSends) {
  StationAccess access = WithControl();
  access.control = false;
  EXPECT_EQ(RefusalOf(Control(access.token), access), MessageText(MsgStationNoControl));
  access.control = true;
  access.token.clear();
  EXPECT_EQ(RefusalOf(Control(""), access), MessageText(MsgStationNoControl));
}

TEST(StationToken, IsFreshHexOf128Bits) {
  const std::string first = MakeStationToken();
  EXPECT_EQ(first.size(), 32u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(first, MakeStationToken());
}

}  // namespace
