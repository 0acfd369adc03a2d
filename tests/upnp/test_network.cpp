// Namespaces, veth pair and child processes for the end-to-end tests.
#include "test_network.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

extern char** environ;

namespace {

// Runs a command to its end with its output discarded; true on exit status 0.
bool Run(const std::vector<std::string>& argv) {
  ChildProcess child;
  if (!child.Start(argv)) return false;
  std::string line;
  while (child.ReadLine(line, std::chrono::seconds(10))) {
  }
  int status = child.Wait(std::chrono::seconds(10));
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<std::string> TestNetwork::In(const std::string& ns, std::vector<std::string> argv) {
  argv.insert(argv.begin(), {"ip", "netns", "exec", ns});
  return argv;
}

std::unique_ptr<TestNetwork> TestNetwork::Create(std::string* why_not) {
  if (geteuid() != 0) {
    *why_not = "needs root for network namespaces";
    return nullptr;
  }
  std::unique_ptr<TestNetwork> net(new TestNetwork);
  const std::string id = std::to_string(getpid());
  net->client_ns = "kdsupnp-c" + id;
  net->device_ns = "kdsupnp-d" + id;
  net->client_if = "kuc" + id;  // interface names: at most 15 bytes
  net->device_if = "kud" + id;

  if (!Run({"ip", "netns", "add", net->client_ns})) {
    *why_not = "cannot create a network namespace (ip netns add)";
    return nullptr;
  }
  net->created_client_ = true;
  if (!Run({"ip", "netns", "add", net->device_ns})) {
    *why_not = "cannot create the second network namespace";
    return nullptr;
  }
  net->created_device_ = true;
  const std::string& c = net->client_ns;
  const std::string& d = net->device_ns;
  const std::vector<std::vector<std::string>> steps = {
      {"ip", "link", "add", net->client_if, "type", "veth", "peer", "name", net->device_if},
      {"ip", "link", "set", net->client_if, "netns", c},
      {"ip", "link", "set", net->device_if, "netns", d},
      {"ip", "-n", c, "addr", "add", net->client_ip + "/24", "dev", net->client_if},
      {"ip", "-n", d, "addr", "add", net->device_ip + "/24", "dev", net->device_if},
      {"ip", "-n", c, "link", "set", "lo", "up"},
      {"ip", "-n", d, "link", "set", "lo", "up"},
      {"ip", "-n", c, "link", "set", net->client_if, "up"},
      {"ip", "-n", d, "link", "set", net->device_if, "up"},
      {"ip", "-n", c, "route", "add", "default", "dev", net->client_if},
      {"ip", "-n", d, "route", "add", "default", "dev", net->device_if},
  };
  for (const auto& step : steps) {
    if (!Run(step)) {
      *why_not = "network setup failed at: ip";
      for (std::size_t i = 1; i < step.size(); ++i) *why_not += " " + step[i];
      return nullptr;  // the destructor removes what exists
    }
  }
  return net;
}

TestNetwork::~TestNetwork() {
  // Deleting a namespace removes the veth end inside it, and with it the pair.
  if (created_client_) Run({"ip", "netns", "del", client_ns});
  if (created_device_) Run({"ip", "netns", "del", device_ns});
  // A veth pair that never reached a namespace.
  if (!client_if.empty() && Run({"ip", "link", "show", client_if}))
    Run({"ip", "link", "del", client_if});
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Terminate();
  if (out_ >= 0) close(out_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    pid_ = -1;
    close(fds[0]);
    return false;
  }
  out_ = fds[0];
  return true;
}

bool ChildProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    if (out_ < 0) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    ssize_t n = read(out_, chunk, sizeof chunk);
    if (n <= 0) {
      close(out_);
      out_ = -1;
      if (!buffer_.empty()) {
        line = buffer_;
        buffer_.clear();
        return true;
      }
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

int ChildProcess::Terminate() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = -1;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = -1;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Terminate();
}
