// The reply reader's thread: poll, recvmmsg, date on the monotonic clock,
// order, hand on.
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

timespec RealtimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

// When a datagram reached the system: `now` less its age by the wall clock
// (`wall_now`, read just before `now`, less the kernel's `stamp`), but not
// before `floor` nor after `now`.
ReplyReader::Clock::time_point ArrivalOnMonotonicClock(const timespec& stamp, const timespec& wall_now,
                                                       ReplyReader::Clock::time_point now,
                                                       ReplyReader::Clock::time_point floor) {
  const auto age = std::chrono::seconds(wall_now.tv_sec - stamp.tv_sec) +
                   std::chrono::nanoseconds(wall_now.tv_nsec - stamp.tv_nsec);
  if (age <= std::chrono::nanoseconds(0)) return now;
  if (age >= now - floor) return std::min(floor, now);
  return now - std::chrono::duration_cast<ReplyReader::Clock::duration>(age);
}

}  // namespace

ReplyReader::ReplyReader(const std::vector<int>& socks, Options options)
    : socks_(socks), options_(std::move(options)), wake_(eventfd(0, EFD_CLOEXEC)),
      dropped_by_socket_(socks.size(), 0) {
  if (!options_.wall_clock) options_.wall_clock = RealtimeNow;
  // Nothing read later is dated before now.
  const Clock::time_point start = Clock::now();
  if (wake_ >= 0) thread_ = std::thread([this, start] { Run(start); });
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
  std::size_t taken = 0;
  for (const Batch& b : *out) taken += b.bytes.size();
  held_bytes_.fetch_sub(taken);
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

std::uint64_t ReplyReader::Discarded() const { return discarded_.load(); }

void ReplyReader::Run(Clock::time_point floor) {
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
    // Every datagram that arrived before this moment is in a socket now, so
    // once all are drained those are complete and can be put in order.
    const Clock::time_point settled = Clock::now();
    for (std::size_t i = 0; i < socks_.size(); ++i) Drain(socks_[i], i, floor);
    HandOn(settled);
    // Nothing drained later can have arrived before the sockets were last
    // found empty.
    floor = settled;
    busy_.store(!held_.empty());
  }
}

void ReplyReader::Drain(int sock, std::size_t which, Clock::time_point floor) {
  mmsghdr messages[kBatch];
  iovec iovs[kBatch];
  // A socket keeps its datagrams in arrival order: so do their times. A
  // datagram the system did not stamp (it turns stamping on a moment after
  // a socket asks) is dated at the read, too late: it came no later than the
  // one after it.
  const std::size_t first = held_.size();
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
    if (n <= 0) break;  // drained (EAGAIN), or failed: back to the wait
    // Both clocks now, the wall clock first: an age a little short dates a
    // datagram a little late, which holds it back rather than hand it on
    // before one that came earlier.
    const timespec wall_now = options_.wall_clock();
    const Clock::time_point now = Clock::now();
    for (int m = 0; m < n; ++m) {
      msghdr& h = messages[m].msg_hdr;
      Held held{};
      held.arrival = now;  // unless the kernel's stamp says otherwise
      for (cmsghdr* c = CMSG_FIRSTHDR(&h); c != nullptr; c = CMSG_NXTHDR(&h, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info;
          std::memcpy(&info, CMSG_DATA(c), sizeof(info));
          held.ifindex = static_cast<unsigned>(info.ipi_ifindex);
          held.destination = info.ipi_addr.s_addr;
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
          timespec stamp;
          std::memcpy(&stamp, CMSG_DATA(c), sizeof(stamp));
          held.arrival = ArrivalOnMonotonicClock(stamp, wall_now, now, floor);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
          std::memcpy(&dropped_by_socket_[which], CMSG_DATA(c), sizeof(std::uint32_t));
        }
      }
      const std::size_t length = messages[m].msg_len;
      if (length == 0) continue;
      if (held_bytes_.load() + length > options_.max_held_bytes) {
        discarded_.fetch_add(1);
        continue;
      }
      held_bytes_.fetch_add(length);
      const char* data = space_.data() + static_cast<std::size_t>(m) * kDatagramSpace;
      held.bytes.assign(data, data + length);
      held_.push_back(std::move(held));
    }
  }
  for (std::size_t i = held_.size(); i > first + 1; --i)
    held_[i - 2].arrival = std::min(held_[i - 2].arrival, held_[i - 1].arrival);
}

void ReplyReader::HandOn(Clock::time_point settled) {
  std::stable_sort(held_.begin(), held_.end(), [](const Held& a, const Held& b) { return a.arrival < b.arrival; });
  auto end = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.arrival >= settled; });
  std::uint64_t dropped = 0;
  for (std::uint32_t d : dropped_by_socket_) dropped += d;
  Batch batch;
  if (end != held_.begin()) batch.arrival = std::prev(end)->arrival;
  for (auto it = held_.begin(); it != end; ++it) {
    Datagram d;
    d.offset = batch.bytes.size();
    d.length = it->bytes.size();
    d.ifindex = it->ifindex;
    d.destination = it->destination;
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
