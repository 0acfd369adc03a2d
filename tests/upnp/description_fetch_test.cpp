// Description fetches that outlive nothing: fetches to a server that takes
// the connection and never answers, given up by the fetches' end, whose
// callbacks have all run before the end returns; and a deadline that gives
// one up on its own.
#include "upnp/description_fetch.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

namespace {

// A TCP server on 127.0.0.1 that never accepts: the kernel completes each
// connection and keeps the request, and no answer ever comes.
struct SilentServer {
  int fd = -1;
  int port = 0;
  SilentServer() {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(at);
    if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0 && listen(fd, 512) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) == 0)
      port = ntohs(at.sin_port);
  }
  ~SilentServer() { close(fd); }
  std::string Url(int n) const { return "http://127.0.0.1:" + std::to_string(port) + "/d" + std::to_string(n) + ".xml"; }
};

// A main context of its own, the thread's default while it lives.
struct OwnContext {
  GMainContext* context = g_main_context_new();
  OwnContext() { g_main_context_push_thread_default(context); }
  ~OwnContext() {
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }
  void RunFor(std::chrono::milliseconds span) const {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until)
      if (!g_main_context_iteration(context, FALSE)) g_usleep(1000);
  }
};

TEST(DescriptionFetches, EndingGivesUpEveryFetchAndNoCallbackComesAfter) {
  SilentServer server;
  ASSERT_GT(server.port, 0);
  OwnContext own;
  int done = 0;
  auto fetches = std::make_unique<DescriptionFetches>();
  for (int i = 0; i < 200; ++i) {
    std::string why;
    ASSERT_TRUE(fetches->Start("uuid:x" + std::to_string(i), server.Url(i), "lo", nullptr,
                               std::chrono::milliseconds(0),
                               [&done](std::optional<UpnpDeviceProperties>, const std::string&) { ++done; }, &why))
        << why;
  }
  own.RunFor(std::chrono::milliseconds(200));  // connected, requests sent, waiting
  EXPECT_EQ(fetches->Running(), 200u);
  const int detached = DescriptionFetches::DetachedEver();
  fetches.reset();
  EXPECT_EQ(DescriptionFetches::DetachedEver(), detached);  // every callback came before the end
  EXPECT_EQ(done, 0);  // and none was told
  own.RunFor(std::chrono::milliseconds(100));  // nothing left to come (AddressSanitizer would tell)
  EXPECT_EQ(done, 0);
}

TEST(DescriptionFetches, CancelledOrTimedOutFetchesTellOnceWithTheirReason) {
  SilentServer server;
  ASSERT_GT(server.port, 0);
  OwnContext own;
  DescriptionFetches fetches;
  std::vector<std::string> reasons;
  const auto tell = [&reasons](std::optional<UpnpDeviceProperties> device, const std::string& why) {
    EXPECT_FALSE(device.has_value());
    reasons.push_back(why);
  };
  std::string why;
  ASSERT_TRUE(fetches.Start("uuid:t", server.Url(1), "lo", nullptr, std::chrono::milliseconds(100), tell, &why));
  own.RunFor(std::chrono::milliseconds(400));
  EXPECT_EQ(reasons, std::vector<std::string>{"no answer in time"});
  ASSERT_TRUE(fetches.Start("uuid:c", server.Url(2), "lo", nullptr, std::chrono::milliseconds(0), tell, &why));
  own.RunFor(std::chrono::milliseconds(50));
  fetches.CancelAll();
  own.RunFor(std::chrono::milliseconds(200));
  EXPECT_EQ(reasons, (std::vector<std::string>{"no answer in time", ""}));
  EXPECT_EQ(fetches.Running(), 0u);
  EXPECT_FALSE(fetches.Start("uuid:u", "not a url", "lo", nullptr, std::chrono::milliseconds(0), tell, &why));
  EXPECT_EQ(why, "not a usable URL");
}

}  // namespace
