// The reader of a UDP search's reply sockets: a thread of its own that only
// drains the sockets (recvmmsg) and hands the datagrams on in batches, in
// arrival order, each with the interface it came in on. Decoding and the
// sink run elsewhere, so they never keep a socket waiting: a normal user's
// receive buffer (about 416 KiB on a desktop) holds only a few hundred
// answers, which a burst fills in a millisecond or two.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class ReplyReader {
 public:
  using Clock = std::chrono::steady_clock;

  struct Datagram {
    std::size_t offset = 0;  // into Batch::bytes
    std::size_t length = 0;
    unsigned ifindex = 0;    // the interface it came in on; 0 unknown
  };
  struct Batch {
    Clock::time_point arrival;  // when its last datagram reached the system
    std::vector<char> bytes;
    std::vector<Datagram> datagrams;
  };

  // Starts draining `socks` (bound, with IP_PKTINFO, SO_TIMESTAMPNS and
  // SO_RXQ_OVFL set; they must outlive the reader). Datagrams of different
  // sockets are put in the order of their kernel receive time stamps.
  explicit ReplyReader(const std::vector<int>& socks);
  // Stops the thread; what it has not handed on is dropped.
  ~ReplyReader();
  ReplyReader(const ReplyReader&) = delete;
  ReplyReader& operator=(const ReplyReader&) = delete;

  // False when the thread could not be started.
  bool Running() const { return thread_.joinable(); }

  // Waits until at least one batch is there or `deadline` passes; moves the
  // batches into *out (emptied first). False when none came.
  bool Take(Clock::time_point deadline, std::deque<Batch>* out);

  // True when datagrams wait that Take has not given yet: in a socket, or
  // taken by the thread and not yet handed on (a thread that has not had
  // the processor for a while leaves them there).
  bool Pending() const;

  // The datagrams the system dropped on the sockets so far (full buffers).
  std::uint64_t Dropped() const;

 private:
  struct Held {  // a datagram read but not yet handed on
    timespec stamp;
    unsigned ifindex;
    std::vector<char> bytes;
  };

  void Run();
  // Reads every datagram `sock` has now into held_.
  void Drain(int sock, std::size_t which);
  // Hands on, in stamp order, the held datagrams stamped before `settled`.
  void HandOn(const timespec& settled);

  std::vector<int> socks_;
  int wake_ = -1;
  std::vector<char> space_;    // kBatch whole datagrams for recvmmsg
  std::vector<char> control_;  // their control messages
  std::vector<Held> held_;
  std::vector<std::uint32_t> dropped_by_socket_;  // the reader's own copy
  std::atomic<bool> busy_{false};  // between a wake-up with data and its hand-on
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;
  std::uint64_t dropped_ = 0;  // under mutex_
};
