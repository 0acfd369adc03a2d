// The reply reader's thread: poll, recvmmsg, order by time stamp, hand on.
#include "protocol/reply_reader.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

constexpr unsigned kBatch = 32;                 // datagrams per recvmmsg
constexpr std::size_t kDatagramSpace = 65536;   // recvmmsg takes whole datagrams only
constexpr std::size_t kControlSpace =
    CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(std::uint32_t));

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

}  // namespace

ReplyReader::ReplyReader(const std::vector<int>& socks)
    : socks_(socks), wake_(eventfd(0, EFD_CLOEXEC)), dropped_by_socket_(socks.size(), 0) {
  if (wake_ >= 0) thread_ = std::thread([this] { Run(); });
}

ReplyReader::~ReplyReader() {
  if (thread_.joinable()) {
    std::uint64_t one = 1;
    ssize_t ignored = write(wake_, &one, sizeof(one));
    (void)ignored;
    thread_.join();
  }
  if (wake_ >= 0) close(wake_);
}

bool ReplyReader::Take(Clock::time_point deadline, std::deque<Batch>* out) {
  out->clear();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_until(lock, deadline, [this] { return !ready_.empty(); });
  if (ready_.empty()) return false;
  std::swap(*out, ready_);
  return true;
}

bool ReplyReader::Pending() const {
  // In the order datagrams travel backwards: whatever left a socket before
  // the look there is in the thread's hands (busy_) or, handed on before
  // busy_ fell, in ready_.
  std::vector<pollfd> fds;
  for (int s : socks_) fds.push_back({s, POLLIN, 0});
  if (poll(fds.data(), fds.size(), 0) > 0) return true;
  if (busy_.load()) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  return !ready_.empty();
}

std::uint64_t ReplyReader::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

void ReplyReader::Run() {
  space_.resize(kBatch * kDatagramSpace);
  control_.resize(kBatch * kControlSpace);
  std::vector<pollfd> fds;
  for (int s : socks_) fds.push_back({s, POLLIN, 0});
  fds.push_back({wake_, POLLIN, 0});
  for (;;) {
    // While datagrams are held back, look again soon: nothing may be older.
    int r = poll(fds.data(), fds.size(), held_.empty() ? -1 : 1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || fds.back().revents != 0) return;
    busy_.store(true);
    // Every datagram stamped before this moment is in a socket now, so once
    // all are drained those are complete and can be put in order.
    timespec settled{};
    clock_gettime(CLOCK_REALTIME, &settled);
    for (std::size_t i = 0; i < socks_.size(); ++i) Drain(socks_[i], i);
    HandOn(settled);
    busy_.store(!held_.empty());
  }
}

void ReplyReader::Drain(int sock, std::size_t which) {
  mmsghdr messages[kBatch];
  iovec iovs[kBatch];
  for (;;) {
    for (unsigned i = 0; i < kBatch; ++i) {
      iovs[i] = {space_.data() + i * kDatagramSpace, kDatagramSpace};
      messages[i] = {};
      messages[i].msg_hdr.msg_iov = &iovs[i];
      messages[i].msg_hdr.msg_iovlen = 1;
      messages[i].msg_hdr.msg_control = control_.data() + i * kControlSpace;
      messages[i].msg_hdr.msg_controllen = kControlSpace;
    }
    int n = recvmmsg(sock, messages, kBatch, MSG_DONTWAIT, nullptr);
    if (n <= 0) return;  // drained (EAGAIN), or failed: back to the wait
    for (int m = 0; m < n; ++m) {
      msghdr& h = messages[m].msg_hdr;
      Held held{};
      clock_gettime(CLOCK_REALTIME, &held.stamp);  // unless the kernel's stamp follows
      for (cmsghdr* c = CMSG_FIRSTHDR(&h); c != nullptr; c = CMSG_NXTHDR(&h, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info;
          std::memcpy(&info, CMSG_DATA(c), sizeof(info));
          held.ifindex = static_cast<unsigned>(info.ipi_ifindex);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
          std::memcpy(&held.stamp, CMSG_DATA(c), sizeof(held.stamp));
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
          std::memcpy(&dropped_by_socket_[which], CMSG_DATA(c), sizeof(std::uint32_t));
        }
      }
      if (messages[m].msg_len == 0) continue;
      const char* data = space_.data() + static_cast<std::size_t>(m) * kDatagramSpace;
      held.bytes.assign(data, data + messages[m].msg_len);
      held_.push_back(std::move(held));
    }
  }
}

void ReplyReader::HandOn(const timespec& settled) {
  std::stable_sort(held_.begin(), held_.end(), [](const Held& a, const Held& b) { return Before(a.stamp, b.stamp); });
  auto end = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return !Before(h.stamp, settled); });
  std::uint64_t dropped = 0;
  for (std::uint32_t d : dropped_by_socket_) dropped += d;
  Batch batch;
  if (end != held_.begin()) {
    // The last one's stamp on this process's clock.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const timespec& last = std::prev(end)->stamp;
    auto ago = std::chrono::seconds(now.tv_sec - last.tv_sec) + std::chrono::nanoseconds(now.tv_nsec - last.tv_nsec);
    batch.arrival = Clock::now() - std::max<std::chrono::nanoseconds>(ago, std::chrono::nanoseconds(0));
  }
  for (auto it = held_.begin(); it != end; ++it) {
    Datagram d;
    d.offset = batch.bytes.size();
    d.length = it->bytes.size();
    d.ifindex = it->ifindex;
    batch.bytes.insert(batch.bytes.end(), it->bytes.begin(), it->bytes.end());
    batch.datagrams.push_back(d);
  }
  held_.erase(held_.begin(), end);
  std::lock_guard<std::mutex> lock(mutex_);
  dropped_ = dropped;
  if (!batch.datagrams.empty()) {
    ready_.push_back(std::move(batch));
    changed_.notify_one();
  }
}
