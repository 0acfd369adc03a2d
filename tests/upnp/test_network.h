// A throw-away two-host network for end-to-end tests: two network namespaces
// joined by a veth pair, named with this process's id, removed again by the
// destructor. Plus a child process runner for programs run inside them.
// Kept apart from the tests so that a shared harness can replace it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class TestNetwork {
 public:
  // Creates the namespaces and the link; null (with the reason in `why_not`)
  // when that is not possible here (not root, no `ip`, no permission). Whatever
  // was created before a failure is removed again.
  static std::unique_ptr<TestNetwork> Create(std::string* why_not);
  ~TestNetwork();
  TestNetwork(const TestNetwork&) = delete;
  TestNetwork& operator=(const TestNetwork&) = delete;

  std::string client_ns, device_ns;  // namespace names
  std::string client_if, device_if;  // the veth ends inside them
  std::string client_ip = "10.99.0.1", device_ip = "10.99.0.2";

  // The command line that runs `argv` inside a namespace.
  static std::vector<std::string> In(const std::string& ns, std::vector<std::string> argv);

 private:
  TestNetwork() = default;
  bool created_client_ = false, created_device_ = false;
};

// A program run with its standard output (and error) read through a pipe.
class ChildProcess {
 public:
  ~ChildProcess();  // terminates it if it still runs
  // Starts argv (argv[0] looked up in PATH); false when it cannot start.
  bool Start(const std::vector<std::string>& argv);
  // Reads the next output line; false at the end or after `timeout`.
  bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
  // SIGTERM to this child's process id, then waits (SIGKILL after 5 s).
  // Returns the exit status as waitpid gives it, or -1.
  int Terminate();
  // Waits for the child to end by itself (at most `timeout`, then Terminate).
  int Wait(std::chrono::milliseconds timeout);
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};
