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

class TestNetwork {
 public:
  static constexpr const char* kClientAddress = "10.99.0.1";
  static constexpr const char* kDevicesAddress = "10.99.0.2";
  // On the test subnet, but no host: a TCP connect to it never completes.
  static constexpr const char* kAbsentAddress = "10.99.0.3";

  // Whether this process may create network namespaces and has the ip tool.
  // When not, *why says why, fit for a test's skip message.
  static bool Supported(std::string* why);

  // Builds the network; check Ready().
  TestNetwork();
  ~TestNetwork();
  TestNetwork(const TestNetwork&) = delete;
  TestNetwork& operator=(const TestNetwork&) = delete;

  bool Ready() const { return ready_; }
  // The first failure, with the failing command's output.
  const std::string& Error() const { return error_; }

  const std::string& ClientNamespace() const { return client_ns_; }
  const std::string& DevicesNamespace() const { return devices_ns_; }
  std::string ClientNamespacePath() const { return "/run/netns/" + client_ns_; }
  std::string DevicesNamespacePath() const { return "/run/netns/" + devices_ns_; }

  // The calling thread becomes a client until the scope ends.
  NetnsScope EnterClient() const { return NetnsScope(ClientNamespacePath()); }

  // Starts argv on either side; the network owns the child and stops it
  // when destroyed. Null (with Error()) when it could not be started.
  ChildProcess* StartInDevices(const std::vector<std::string>& argv);
  ChildProcess* StartInClient(const std::vector<std::string>& argv);

  // Starts device-sim with `args` on the devices side and waits for its
  // "ready" line. Null (with Error(), holding its output) when it ended or
  // was not ready in time.
  ChildProcess* StartDeviceSim(const std::vector<std::string>& args, int ready_timeout_ms = 5000);

  // Runs argv to its end on either side (see RunCommand).
  CommandResult RunInClient(const std::vector<std::string>& argv, int timeout_ms = 30000) const;
  CommandResult RunInDevices(const std::vector<std::string>& argv, int timeout_ms = 30000) const;

  // The device-sim program the tests were built with.
  static std::string DeviceSimPath();

 private:
  bool Run(const std::vector<std::string>& argv);
  void StartReaper();
  void Teardown();

  std::string client_ns_, devices_ns_, client_if_, devices_if_;
  bool ready_ = false;
  std::string error_;
  int reaper_fd_ = -1;
  std::vector<std::unique_ptr<ChildProcess>> children_;
};
