// The reader of a UDP search's reply sockets: a thread of its own that only
// drains the sockets (recvmmsg) and hands the datagrams on in batches, in
// arrival order, each with the interface it came in on and the address it
// was sent to. Decoding and the sink run elsewhere, so they never keep a
// socket waiting: a normal user's receive buffer (about 416 KiB on a
// desktop) holds only a few hundred answers, which a burst fills in a
// millisecond or two.
//
// Arrival times are on the monotonic clock. The kernel stamps a datagram on
// the wall clock only (SO_TIMESTAMPNS); that stamp serves to tell how long
// ago the datagram arrived, counted back from the monotonic clock read at
// the same moment and kept between the time its socket was last found empty
// and the read. A wall clock that steps during a search can thus neither
// hold answers back nor lose them: stepped back, it dates them at the read;
// stepped forward, when their socket was last found empty.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ReplyReader {
 public:
  using Clock = std::chrono::steady_clock;

  struct Datagram {
    std::size_t offset = 0;  // into Batch::bytes
    std::size_t length = 0;
    unsigned ifindex = 0;             // the interface it came in on; 0 unknown
    std::uint32_t destination = 0;    // the address it was sent to (network byte order); 0 unknown
  };
  struct Batch {
    Clock::time_point arrival;  // when its last datagram reached the system
    std::vector<char> bytes;
    std::vector<Datagram> datagrams;
  };

  struct Options {
    // The most datagram bytes held at once, read and not yet taken; what
    // would go beyond is dropped and counted (Discarded).
    std::size_t max_held_bytes = std::size_t{64} << 20;
    // The wall clock the kernel's stamps are compared with; tests give one
    // that has stepped. Null: CLOCK_REALTIME.
    std::function<timespec()> wall_clock;
  };

  // Starts draining `socks` (bound, with IP_PKTINFO, SO_TIMESTAMPNS and
  // SO_RXQ_OVFL set; they must outlive the reader). Datagrams of different
  // sockets are put in the order of their arrival times.
  explicit ReplyReader(const std::vector<int>& socks) : ReplyReader(socks, Options()) {}
  ReplyReader(const std::vector<int>& socks, Options options);
  // Stops the thread; what it has not handed on is dropped.
  ~ReplyReader();
  ReplyReader(const ReplyReader&) = delete;
  ReplyReader& operator=(const ReplyReader&) = delete;

  // False when the thread could not be started.
  bool Running() const { return thread_.joinable(); }

  // Waits until at least one batch is there or `deadline` passes; moves the
  // batches into *out (emptied first). False when none came. One thread
  // takes.
  bool Take(Clock::time_point deadline, std::deque<Batch>* out);

  // True when datagrams wait that Take has not given yet: in a socket, or
  // taken by the thread and not yet handed on (a thread that has not had
  // the processor for a while leaves them there).
  bool Pending() const;

  // The datagrams the system dropped on the sockets so far (full buffers).
  std::uint64_t Dropped() const;
  // The datagrams this reader dropped so far because it held max_held_bytes.
  std::uint64_t Discarded() const;

 private:
  struct Held {  // a datagram read but not yet handed on
    Clock::time_point arrival;
    unsigned ifindex;
    std::uint32_t destination;
    std::vector<char> bytes;
  };

  // The thread; `floor`: when the reader was made.
  void Run(Clock::time_point floor);
  // Reads every datagram `sock` has now into held_, dating none before `floor`.
  void Drain(int sock, std::size_t which, Clock::time_point floor);
  // Hands on, in arrival order, the held datagrams that arrived before `settled`.
  void HandOn(Clock::time_point settled);

  std::vector<int> socks_;
  Options options_;
  int wake_ = -1;
  std::vector<char> space_;    // kBatch whole datagrams for recvmmsg
  std::vector<char> control_;  // their control messages
  std::vector<Held> held_;
  std::vector<std::uint32_t> dropped_by_socket_;  // the reader's own copy
  std::atomic<bool> busy_{false};  // between a wake-up with data and its hand-on
  std::atomic<std::size_t> held_bytes_{0};  // in held_ and ready_
  std::atomic<std::uint64_t> discarded_{0};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;
  std::uint64_t dropped_ = 0;  // under mutex_
};
