// The station's web server started and stopped in process, as update-station
// does at the end of its line: it serves while it runs, and Stop ends it whether
// or not a client came (on Windows a listening socket closed under the thread
// that waits on it would hold Stop for ever).

#include "tools/station/station_server.h"

#include <gtest/gtest.h>

#include <httplib.h>

#include <string>

namespace {

// A server bound to the first free port of a few on 127.0.0.1.
class ServedStation {
 public:
  ServedStation() : board("f.upd", {{"A", "/dev/a"}}, true, "run1") {
    for (uint16_t port = 47311; port < 47331 && !bound; ++port) {
      StationAccess access;
      access.listen.host = "127.0.0.1";
      access.listen.port = port;
      access.control = true;
      access.token = "t0k3n";
      server = std::make_unique<StationServer>(board, access);
      bound = server->Bind();
      listen = access.listen;
    }
  }

  StationBoard board;
  std::unique_ptr<StationServer> server;
  ListenAddress listen;
  bool bound = false;
};

TEST(StationServerRun, StopEndsTheServerWithAndWithoutClients) {
  {
    ServedStation idle;
    ASSERT_TRUE(idle.bound);
    idle.server->Start();
    idle.server->Stop();
  }
  ServedStation served;
  ASSERT_TRUE(served.bound);
  served.server->Start();
  httplib::Client client(served.listen.host, served.listen.port);
  const httplib::Result page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("content=\"t0k3n\""), std::string::npos);
  const httplib::Result state = client.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_NE(state->body.find("\"station\":\"run1\""), std::string::npos);
  served.server->Stop();
  // Stopped, it takes no more connections.
  httplib::Client late(served.listen.host, served.listen.port);
  late.set_connection_timeout(2);
  EXPECT_FALSE(late.Get("/api/state"));
}

}  // namespace
