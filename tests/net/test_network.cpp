// The test network: namespaces, veth pair, child processes, the reaper.
#include "test_network.h"

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return ms <= 0 ? 0 : static_cast<int>(ms);
}

std::string IpTool() {
  for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "ip";
}

// Starts argv in a child: in the namespace `netns_fd` (-1 = stay), with the
// given descriptors as its standard output and error (-1 = inherit), in a new
// process group when asked, killed when the starting thread ends when asked.
// The pid, or -1 with *error.
pid_t Spawn(const std::vector<std::string>& argv, int netns_fd, int out_fd, int err_fd,
            bool new_group, bool die_with_parent, std::string* error) {
  if (argv.empty()) {
    *error = "no command";
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int report[2];  // the child writes its errno here when it cannot exec
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return -1;
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    close(report[0]);
    close(report[1]);
    return -1;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    int err = 0;
    int stage = 0;
    if (die_with_parent) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (new_group) setpgid(0, 0);
    if (netns_fd >= 0 && setns(netns_fd, CLONE_NEWNET) != 0) {
      err = errno;
      stage = 1;
    }
    if (stage == 0 && out_fd >= 0 && dup2(out_fd, STDOUT_FILENO) < 0) err = errno, stage = 2;
    if (stage == 0 && err_fd >= 0 && dup2(err_fd, STDERR_FILENO) < 0) err = errno, stage = 2;
    if (stage == 0) {
      execvp(args[0], args.data());
      err = errno;
      stage = 3;
    }
    int message[2] = {stage, err};
    ssize_t ignored = write(report[1], message, sizeof(message));
    (void)ignored;
    _exit(127);
  }
  close(report[1]);
  int message[2] = {0, 0};
  ssize_t n;
  while ((n = read(report[0], message, sizeof(message))) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof(message))) {
    waitpid(pid, nullptr, 0);
    const char* what = message[0] == 1 ? "setns" : message[0] == 2 ? "dup2" : "exec";
    *error = argv[0] + ": " + what + ": " + std::strerror(message[1]);
    return -1;
  }
  return pid;
}

int OpenNetns(const std::string& path, std::string* error) {
  if (path.empty()) return -1;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) *error = path + ": " + std::strerror(errno);
  return fd;
}

std::atomic<int> network_counter{0};

const char kClientMac[] = "02:4b:44:00:00:01";
const char kDevicesMac[] = "02:4b:44:00:00:02";

}  // namespace

// ---- RunCommand

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& netns_path,
                         int timeout_ms) {
  CommandResult result;
  int netns_fd = -1;
  if (!netns_path.empty() && (netns_fd = OpenNetns(netns_path, &result.err)) < 0) return result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    result.err = std::strerror(errno);
    if (netns_fd >= 0) close(netns_fd);
    return result;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    result.err = std::strerror(errno);
    close(out[0]);
    close(out[1]);
    if (netns_fd >= 0) close(netns_fd);
    return result;
  }
  std::string error;
  pid_t pid = Spawn(argv, netns_fd, out[1], err[1], true, true, &error);
  if (netns_fd >= 0) close(netns_fd);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    result.err = error;
    return result;
  }
  result.started = true;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0) {
    int r = poll(fds, 2, MsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      result.timed_out = true;
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (pollfd& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::string AddLocalInterface(const std::string& name, const std::string& address) {
  const std::string ip = IpTool();
  std::vector<std::vector<std::string>> steps = {
      {ip, "link", "add", name, "type", "veth", "peer", "name", name + "p"},
      {ip, "link", "set", name + "p", "up"},
      {ip, "link", "set", name, "up"}};
  if (!address.empty()) steps.insert(steps.begin() + 1, {ip, "addr", "add", address, "dev", name});
  for (const std::vector<std::string>& step : steps) {
    CommandResult r = RunCommand(step, "", 10000);
    if (!r.started || r.exit_code != 0) return step[1] + " " + step[2] + " " + name + ": " + r.err;
  }
  return "";
}

int ArrivalSocket(int port) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    close(s);
    return -1;
  }
  return s;
}

std::vector<std::pair<std::string, std::string>> ReceiveArrivals(int sock, int quiet_ms) {
  std::vector<std::pair<std::string, std::string>> arrivals;
  pollfd p{sock, POLLIN, 0};
  while (poll(&p, 1, quiet_ms) > 0) {
    char buf[65536];
    alignas(cmsghdr) char control[256];
    iovec iov{buf, sizeof(buf)};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    ssize_t n = recvmsg(sock, &msg, 0);
    if (n < 0) break;
    char name[IF_NAMESIZE] = "?";
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(c), sizeof(info));
      if_indextoname(static_cast<unsigned>(info.ipi_ifindex), name);
    }
    arrivals.emplace_back(name, std::string(buf, static_cast<std::size_t>(n)));
  }
  return arrivals;
}

// ---- ChildProcess

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const std::string& netns_path,
                                                  std::string* error) {
  int netns_fd = -1;
  if (!netns_path.empty() && (netns_fd = OpenNetns(netns_path, error)) < 0) return nullptr;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    *error = std::strerror(errno);
    if (netns_fd >= 0) close(netns_fd);
    return nullptr;
  }
  pid_t pid = Spawn(argv, netns_fd, out[1], -1, false, true, error);
  if (netns_fd >= 0) close(netns_fd);
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, out[0]));
}

ChildProcess::ChildProcess(pid_t pid, int out_fd) : pid_(pid), out_fd_(out_fd) {
  reader_ = std::thread([this] { ReadLines(); });
}

ChildProcess::~ChildProcess() { Stop(); }

void ChildProcess::ReadLines() {
  std::string partial;
  char buffer[4096];
  while (!stop_reading_.load()) {
    pollfd pfd{out_fd_, POLLIN, 0};
    int r = poll(&pfd, 1, 100);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    ssize_t n = read(out_fd_, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    partial.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0, nl;
    std::lock_guard<std::mutex> lock(mutex_);
    while ((nl = partial.find('\n', start)) != std::string::npos) {
      lines_.push_back(partial.substr(start, nl - start));
      start = nl + 1;
    }
    partial.erase(0, start);
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!partial.empty()) lines_.push_back(partial);
  eof_ = true;
  changed_.notify_all();
}

bool ChildProcess::WaitForLines(const std::string& needle, int count, int timeout_ms) {
  auto enough = [&] {
    int found = 0;
    for (const std::string& line : lines_) {
      if (line.find(needle) != std::string::npos) ++found;
    }
    return found >= count;
  };
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return enough() || eof_; });
  return enough();
}

int ChildProcess::CountLines(const std::string& needle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int found = 0;
  for (const std::string& line : lines_) {
    if (line.find(needle) != std::string::npos) ++found;
  }
  return found;
}

std::vector<std::string> ChildProcess::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::string ChildProcess::Output() const {
  std::string all;
  for (const std::string& line : Lines()) all += line + "\n";
  return all;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = status;
    pid_ = -1;
    return false;
  }
  return true;
}

int ChildProcess::Stop(int grace_ms) {
  int result = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(grace_ms);
    int status = 0;
    pid_t r;
    while ((r = waitpid(pid_, &status, WNOHANG)) == 0 && MsLeft(deadline) > 0) {
      usleep(5000);
    }
    if (r == 0) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    status_ = status;
    result = status;
    pid_ = -1;
  }
  if (reader_.joinable()) {
    // Let the reader take what is still in the pipe, then end it.
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(500), [&] { return eof_; });
    }
    stop_reading_.store(true);
    reader_.join();
  }
  if (out_fd_ >= 0) {
    close(out_fd_);
    out_fd_ = -1;
  }
  return result;
}

// ---- NetnsScope

bool NetnsScope::SaveCurrent() {
  saved_fd_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (saved_fd_ < 0) error_ = std::string("/proc/thread-self/ns/net: ") + std::strerror(errno);
  return saved_fd_ >= 0;
}

NetnsScope::NetnsScope(const std::string& netns_path) {
  if (!SaveCurrent()) return;
  int fd = OpenNetns(netns_path, &error_);
  if (fd < 0) return;
  if (setns(fd, CLONE_NEWNET) == 0) {
    entered_ = true;
  } else {
    error_ = "setns " + netns_path + ": " + std::strerror(errno);
  }
  close(fd);
}

NetnsScope::NetnsScope(FreshLoopback) {
  if (!SaveCurrent()) return;
  if (unshare(CLONE_NEWNET) != 0) {
    error_ = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    return;
  }
  entered_ = true;
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  if (s < 0 || ioctl(s, SIOCGIFFLAGS, &ifr) != 0 ||
      (ifr.ifr_flags |= IFF_UP, ioctl(s, SIOCSIFFLAGS, &ifr) != 0)) {
    error_ = std::string("bringing lo up: ") + std::strerror(errno);
  }
  if (s >= 0) close(s);
}

NetnsScope NetnsScope::PrivateLoopback() { return NetnsScope(FreshLoopback{}); }

NetnsScope::~NetnsScope() {
  if (entered_ && saved_fd_ >= 0) setns(saved_fd_, CLONE_NEWNET);
  if (saved_fd_ >= 0) close(saved_fd_);
}

// ---- TestNetwork

bool TestNetwork::Supported(std::string* why) {
  pid_t pid = fork();
  if (pid == 0) _exit(unshare(CLONE_NEWNET) == 0 ? 0 : 1);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (why)
      *why = "this process may not create network namespaces (run the tests as root, "
             "or with CAP_SYS_ADMIN and CAP_NET_ADMIN)";
    return false;
  }
  if (access(IpTool().c_str(), X_OK) != 0) {
    if (why) *why = "the ip tool (iproute2) is not installed";
    return false;
  }
  return true;
}

std::string TestNetwork::DeviceSimPath() { return KDS_DEVICE_SIM_PATH; }

TestNetwork::TestNetwork() : TestNetwork(std::vector<TestLink>{TestLink{}}) {}

namespace {

// "10.99.0.1/24" -> "10.99.0.1".
std::string WithoutPrefix(const std::string& address) { return address.substr(0, address.find('/')); }

// The veth ends' hardware addresses: 02:4b:44:00:<link>:01 (client) and :02.
std::string LinkMac(int link, int side) {
  char mac[18];
  std::snprintf(mac, sizeof(mac), "02:4b:44:00:%02x:%02x", link & 0xff, side);
  return mac;
}

}  // namespace

TestNetwork::TestNetwork(const std::vector<TestLink>& links) {
  std::string pid = std::to_string(getpid());
  std::string n = std::to_string(network_counter.fetch_add(1));
  client_ns_ = "kds-c-" + pid + "-" + n;
  for (std::size_t i = 0; i < links.size(); ++i) {
    std::string suffix = pid + "_" + n + (i == 0 ? "" : "_" + std::to_string(i));
    Link link{links[i], (i == 0 ? "kds-d-" : "kds-d" + std::to_string(i) + "-") + pid + "-" + n,
              "kc" + suffix, "kd" + suffix};
    if (link.client_if.size() >= IFNAMSIZ) {
      error_ = "interface name " + link.client_if + " too long";
      return;
    }
    links_.push_back(std::move(link));
  }
  if (links_.empty()) {
    error_ = "a test network needs a link";
    return;
  }
  StartReaper();
  const std::string ip = IpTool();
  ready_ = Run({ip, "netns", "add", client_ns_}) && Run({ip, "-n", client_ns_, "link", "set", "lo", "up"});
  for (std::size_t i = 0; ready_ && i < links_.size(); ++i) ready_ = Build(links_[i], static_cast<int>(i));
}

bool TestNetwork::Build(const Link& link, int index) {
  const std::string ip = IpTool();
  const std::string client_mac = index == 0 ? kClientMac : LinkMac(index, 1);
  const std::string devices_mac = index == 0 ? kDevicesMac : LinkMac(index, 2);
  const std::string& cns = client_ns_;
  const std::string& dns = link.devices_ns;
  return Run({ip, "netns", "add", dns}) &&
         Run({ip, "link", "add", link.client_if, "address", client_mac, "netns", cns, "type", "veth",
              "peer", "name", link.devices_if, "address", devices_mac, "netns", dns}) &&
         Run({ip, "-n", cns, "addr", "add", link.wanted.client_address, "dev", link.client_if}) &&
         std::all_of(link.wanted.more_client_addresses.begin(), link.wanted.more_client_addresses.end(),
                     [&](const std::string& a) { return Run({ip, "-n", cns, "addr", "add", a, "dev", link.client_if}); }) &&
         Run({ip, "-n", dns, "addr", "add", link.wanted.devices_address, "dev", link.devices_if}) &&
         Run({ip, "-n", dns, "link", "set", "lo", "up"}) &&
         Run({ip, "-n", cns, "link", "set", link.client_if, "up"}) &&
         Run({ip, "-n", dns, "link", "set", link.devices_if, "up"}) &&
         (!link.wanted.client_default_route ||
          Run({ip, "-n", cns, "route", "add", "default", "dev", link.client_if})) &&
         (!link.wanted.devices_default_route ||
          Run({ip, "-n", dns, "route", "add", "default", "dev", link.devices_if})) &&
         // Permanent neighbours: a burst of answers never waits for (or is
         // dropped behind) address resolution.
         Run({ip, "-n", cns, "neigh", "add", WithoutPrefix(link.wanted.devices_address), "lladdr",
              devices_mac, "dev", link.client_if, "nud", "permanent"}) &&
         Run({ip, "-n", dns, "neigh", "add", WithoutPrefix(link.wanted.client_address), "lladdr",
              client_mac, "dev", link.devices_if, "nud", "permanent"});
}

TestNetwork::~TestNetwork() { Teardown(); }

bool TestNetwork::Run(const std::vector<std::string>& argv) {
  CommandResult r = RunCommand(argv, "", 10000);
  if (r.started && r.exit_code == 0) return true;
  std::string command;
  for (const std::string& a : argv) command += (command.empty() ? "" : " ") + a;
  if (error_.empty()) error_ = command + " failed: " + r.err + r.out;
  return false;
}

void TestNetwork::StartReaper() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  // The reaper: a shell, detached from our process tree (double fork, own
  // session) so that killing our tree leaves it alive. It reads its standard
  // input; "done" means we cleaned up ourselves; end of input without it
  // means we died, and it removes what we made.
  const std::string ip = IpTool();
  const std::string script =
      "read -r word; [ \"$word\" = done ] && exit 0; ip=$1; shift; "
      "for ns in \"$@\"; do "
      "for p in $(\"$ip\" netns pids \"$ns\" 2>/dev/null); do kill -9 \"$p\" 2>/dev/null; done; "
      "\"$ip\" netns del \"$ns\" 2>/dev/null; done; exit 0";
  std::vector<std::string> argv = {"/bin/sh", "-c", script, "kds-reaper", ip, client_ns_};
  for (const Link& link : links_) argv.push_back(link.devices_ns);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGINT, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    dup2(fds[0], STDIN_FILENO);  // dup2 leaves close-on-exec off on the copy
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, STDOUT_FILENO);
      dup2(null_fd, STDERR_FILENO);
    }
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[0]);
  if (pid > 0) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    reaper_fd_ = fds[1];
  } else {
    close(fds[1]);
  }
}

void TestNetwork::Teardown() {
  children_.clear();  // stops and reaps each
  const std::string ip = IpTool();
  std::vector<std::string> namespaces = {client_ns_};
  for (const Link& link : links_) namespaces.push_back(link.devices_ns);
  for (const std::string& ns : namespaces) {
    if (ns.empty()) continue;
    CommandResult pids = RunCommand({ip, "netns", "pids", ns}, "", 5000);
    std::size_t start = 0;
    while (start < pids.out.size()) {
      std::size_t end = pids.out.find('\n', start);
      if (end == std::string::npos) end = pids.out.size();
      pid_t p = static_cast<pid_t>(std::atol(pids.out.substr(start, end - start).c_str()));
      if (p > 0) kill(p, SIGKILL);
      start = end + 1;
    }
    RunCommand({ip, "netns", "del", ns}, "", 10000);
  }
  if (reaper_fd_ >= 0) {
    static const char kDone[] = "done\n";
    ssize_t ignored = write(reaper_fd_, kDone, sizeof(kDone) - 1);
    (void)ignored;
    close(reaper_fd_);
    reaper_fd_ = -1;
  }
}

ChildProcess* TestNetwork::StartInDevices(const std::vector<std::string>& argv, int link) {
  std::string error;
  std::unique_ptr<ChildProcess> child = ChildProcess::Start(argv, DevicesNamespacePath(link), &error);
  if (!child) {
    error_ = error;
    return nullptr;
  }
  children_.push_back(std::move(child));
  return children_.back().get();
}

ChildProcess* TestNetwork::StartInClient(const std::vector<std::string>& argv) {
  std::string error;
  std::unique_ptr<ChildProcess> child = ChildProcess::Start(argv, ClientNamespacePath(), &error);
  if (!child) {
    error_ = error;
    return nullptr;
  }
  children_.push_back(std::move(child));
  return children_.back().get();
}

ChildProcess* TestNetwork::StartDeviceSim(const std::vector<std::string>& args, int ready_timeout_ms) {
  return StartDeviceSimOn(0, args, ready_timeout_ms);
}

ChildProcess* TestNetwork::StartDeviceSimOn(int link, const std::vector<std::string>& args,
                                            int ready_timeout_ms) {
  std::vector<std::string> argv = {DeviceSimPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess* sim = StartInDevices(argv, link);
  if (sim == nullptr) return nullptr;
  if (!sim->WaitForLine("ready", ready_timeout_ms)) {
    sim->Stop(500);
    error_ = "device-sim was not ready; its output:\n" + sim->Output();
    return nullptr;
  }
  return sim;
}

CommandResult TestNetwork::RunInClient(const std::vector<std::string>& argv, int timeout_ms) const {
  return RunCommand(argv, ClientNamespacePath(), timeout_ms);
}

CommandResult TestNetwork::RunInDevices(const std::vector<std::string>& argv, int timeout_ms,
                                        int link) const {
  return RunCommand(argv, DevicesNamespacePath(link), timeout_ms);
}

CommandResult TestNetwork::RunInClientAsUser(const std::vector<std::string>& argv, int timeout_ms) const {
  std::vector<std::string> as_user = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                      "--inh-caps=-all", "--"};
  as_user.insert(as_user.end(), argv.begin(), argv.end());
  return RunCommand(as_user, ClientNamespacePath(), timeout_ms);
}
