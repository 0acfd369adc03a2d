// The test network: a throwaway pair of network namespaces joined by a veth
// pair, so that end-to-end tests, benchmarks and demos can broadcast and
// relay without any packet reaching the machine's own network.
//
//   client namespace  kds-c-<pid>-<n>   10.99.0.1/24   veth kc<pid>_<n>, 02:4b:44:00:00:01
//   devices namespace kds-d-<pid>-<n>   10.99.0.2/24   veth kd<pid>_<n>, 02:4b:44:00:00:02
//
// Each side has a default route over the pair (so 255.255.255.255 goes out
// of it) and a permanent neighbour entry for the other side (so a burst of
// thousands of answers never waits for address resolution). <n> counts the
// networks of one process, so several may exist at once.
//
// A network of several links (TestNetwork(links)) gives the client one veth
// interface per link, each to a devices namespace of its own
// (kds-d<i>-<pid>-<n>, veth kd<pid>_<n>_<i>; the client's end kc<pid>_<n>_<i>;
// link 0 keeps the names above). Each link says its two addresses and which
// sides get a default route over it, so a client may have a link without a
// route (a camera network) and a devices side may sit in another subnet than
// the client's address on that link (it can then answer only by broadcast),
// or in a second subnet the client's interface has as well.
//
// Typical use (needs root; skip when TestNetwork::Supported() says no):
//
//   TestNetwork net;                                  // builds it
//   ASSERT_TRUE(net.Ready()) << net.Error();
//   ChildProcess* sim = net.StartDeviceSim({"--count", "20"});  // waits for "ready"
//   {
//     NetnsScope client = net.EnterClient();           // this thread is now a client
//     UdpSearchExchange(...);
//   }
//   EXPECT_TRUE(sim->WaitForLine("udp request flag=00", 1000));
//   CommandResult r = net.RunInClient({"build/device-search", "search"});
//
// Cleanup: the destructor stops the children it started and deletes both
// namespaces (the veth pair goes with them). A reaper process, started before
// the namespaces and detached from this process's tree, does the same if this
// process dies any other way (a crash, SIGKILL by a ctest timeout, Ctrl-C):
// it waits on a pipe whose write end only this process holds. Children
// started here also get SIGKILL when the thread that started them ends
// (PR_SET_PDEATHSIG), so start them from a thread that outlives them (the
// test's main thread).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a finished command did.
struct CommandResult {
  bool started = false;    // false: it could not be started (reason in err)
  bool timed_out = false;  // it was killed when its time ran out
  int exit_code = -1;      // its exit status when it exited, else -1
  int signal = 0;          // the signal that ended it, else 0
  std::string out;         // everything it wrote to standard output
  std::string err;         // ... and to standard error
};

// Runs argv (argv[0] a path, or a name looked up in PATH) to its end, in the
// network namespace whose file is `netns_path` ("" = this thread's own),
// capturing its output. After `timeout_ms` its whole process group is killed.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& netns_path = "",
                         int timeout_ms = 30000);

// A running child whose standard output is read line by line on a thread of
// its own; its standard error goes to ours. Stopped and reaped on destruction.
class ChildProcess {
 public:
  // Starts argv in the network namespace `netns_path` ("" = the calling
  // thread's own). Null with *error when it could not be started.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::string& netns_path, std::string* error);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // True as soon as `count` lines containing `needle` have been read (lines
  // read before the call count); false when `timeout_ms` passes or the output
  // ends first.
  bool WaitForLines(const std::string& needle, int count, int timeout_ms);
  bool WaitForLine(const std::string& needle, int timeout_ms) {
    return WaitForLines(needle, 1, timeout_ms);
  }
  // Lines read so far that contain `needle`.
  int CountLines(const std::string& needle) const;
  // Every line read so far, without line feeds.
  std::vector<std::string> Lines() const;
  // The lines joined by line feeds, for failure messages.
  std::string Output() const;

  // Whether it still runs (not yet reaped).
  bool Running();
  // SIGTERM, then SIGKILL after grace_ms; reaps it and ends the reader.
  // Result: the wait status, or -1 when it had been reaped before.
  int Stop(int grace_ms = 2000);

 private:
  ChildProcess(pid_t pid, int out_fd);
  void ReadLines();

  pid_t pid_;
  int out_fd_;
  std::thread reader_;
  std::atomic<bool> stop_reading_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool eof_ = false;
  int status_ = -1;
};

// Adds to the calling thread's network namespace (a private one, see
// NetnsScope::PrivateLoopback) a veth pair `name` / `name`p, both up, with
// `address` (with its prefix length, "" for none) on `name`: an interface
// that can broadcast, whose broadcasts come back to local sockets with its
// index. Result: "" on success, else what failed.
std::string AddLocalInterface(const std::string& name, const std::string& address);

// A UDP socket bound to `port` on every local address (with address reuse)
// that learns each datagram's arrival interface; -1 when it cannot bind.
int ArrivalSocket(int port);
// The datagrams `sock` (an ArrivalSocket) receives until `quiet_ms` pass
// without one, in order: the name of the interface each came in on, and its
// bytes.
std::vector<std::pair<std::string, std::string>> ReceiveArrivals(int sock, int quiet_ms);

// Puts the calling thread into a network namespace until destroyed, then
// back into the one it was in. Threads created meanwhile start in it too;
// sockets opened meanwhile stay in it.
class NetnsScope {
 public:
  // Enters the namespace whose file is `netns_path`.
  explicit NetnsScope(const std::string& netns_path);
  // Enters a fresh namespace of its own with only the loopback interface, up:
  // for tests that use fixed ports on 127.0.0.1 without meeting anyone else.
  static NetnsScope PrivateLoopback();
  ~NetnsScope();
  NetnsScope(const NetnsScope&) = delete;
  NetnsScope& operator=(const NetnsScope&) = delete;

  bool Entered() const { return entered_; }
  const std::string& Error() const { return error_; }

 private:
  struct FreshLoopback {};
  explicit NetnsScope(FreshLoopback);
  bool SaveCurrent();

  int saved_fd_ = -1;
  bool entered_ = false;
  std::string error_;
};

// One link of a test network: a veth pair from the client namespace to a
// devices namespace of its own. Addresses carry their prefix length.
struct TestLink {
  std::string client_address = "10.99.0.1/24";
  std::string devices_address = "10.99.0.2/24";
  bool client_default_route = true;   // the client's default route goes over this link
  bool devices_default_route = true;  // the devices' side routes everything over it
  // Further addresses of the client's interface on this link, after the
  // first (a second subnet on the same wire).
  std::vector<std::string> more_client_addresses = {};
};

class TestNetwork {
 public:
  static constexpr const char* kClientAddress = "10.99.0.1";
  static constexpr const char* kDevicesAddress = "10.99.0.2";
  // On the test subnet, but no host: a TCP connect to it never completes.
  static constexpr const char* kAbsentAddress = "10.99.0.3";

  // Whether this process may create network namespaces and has the ip tool.
  // When not, *why says why, fit for a test's skip message.
  static bool Supported(std::string* why);

  // Builds the network of one link with TestLink's defaults; check Ready().
  TestNetwork();
  // Builds a network of the given links (at least one; at most one should
  // give the client its default route); check Ready().
  explicit TestNetwork(const std::vector<TestLink>& links);
  ~TestNetwork();
  TestNetwork(const TestNetwork&) = delete;
  TestNetwork& operator=(const TestNetwork&) = delete;

  bool Ready() const { return ready_; }
  // The first failure, with the failing command's output.
  const std::string& Error() const { return error_; }

  int LinkCount() const { return static_cast<int>(links_.size()); }
  const std::string& ClientNamespace() const { return client_ns_; }
  const std::string& DevicesNamespace(int link = 0) const { return links_[link].devices_ns; }
  std::string ClientNamespacePath() const { return "/run/netns/" + client_ns_; }
  std::string DevicesNamespacePath(int link = 0) const { return "/run/netns/" + DevicesNamespace(link); }
  // The client's interface on a link.
  const std::string& ClientInterface(int link = 0) const { return links_[link].client_if; }

  // The calling thread becomes a client until the scope ends.
  NetnsScope EnterClient() const { return NetnsScope(ClientNamespacePath()); }

  // Starts argv on either side; the network owns the child and stops it
  // when destroyed. Null (with Error()) when it could not be started.
  ChildProcess* StartInDevices(const std::vector<std::string>& argv, int link = 0);
  ChildProcess* StartInClient(const std::vector<std::string>& argv);

  // Starts device-sim with `args` on the devices side (of link 0) and waits
  // for its "ready" line. Null (with Error(), holding its output) when it
  // ended or was not ready in time.
  ChildProcess* StartDeviceSim(const std::vector<std::string>& args, int ready_timeout_ms = 5000);
  // The same behind the given link.
  ChildProcess* StartDeviceSimOn(int link, const std::vector<std::string>& args,
                                 int ready_timeout_ms = 5000);

  // Runs argv to its end on either side (see RunCommand).
  CommandResult RunInClient(const std::vector<std::string>& argv, int timeout_ms = 30000) const;
  CommandResult RunInDevices(const std::vector<std::string>& argv, int timeout_ms = 30000,
                             int link = 0) const;
  // Runs argv to its end on the client side as the unprivileged user 65534
  // (nobody), with no supplementary groups and no capabilities.
  CommandResult RunInClientAsUser(const std::vector<std::string>& argv, int timeout_ms = 30000) const;

  // The device-sim program the tests were built with.
  static std::string DeviceSimPath();

 private:
  struct Link {
    TestLink wanted;
    std::string devices_ns, client_if, devices_if;
  };

  bool Run(const std::vector<std::string>& argv);
  bool Build(const Link& link, int index);
  void StartReaper();
  void Teardown();

  std::string client_ns_;
  std::vector<Link> links_;
  bool ready_ = false;
  std::string error_;
  int reaper_fd_ = -1;
  std::vector<std::unique_ptr<ChildProcess>> children_;
};
