// The simulator's UDP discovery service on port 6666: answers a search
// request (flag 00, broadcast or unicast, or flag 02 from a relay client) with
// every device's information packet, sent to port 6667 of the requester (or,
// with answer_broadcast, to 255.255.255.255 port 6667 out of the interface
// the request came in on); logs control packages (flag 03) and hands them to
// a control handler.
//
// Log lines (standard output):
//   "udp request flag=NN from A:P"          a search request arrived
//   "udp answer to A:6667 devices=N datagrams=M"   M datagrams scheduled
//   "udp flood to A:6667 for N ms" / "udp flood to A:6667 ended datagrams=M"
//   "udp package flag=03 from A:P"          a control package arrived, then:
//   "control <plain packet text>"
//   "udp ignored flag=NN from A:P"          a packet of another flag
//   "udp junk from A:P bytes=N"             not a packet at all
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "device_set.h"
#include "sim_log.h"
#include "sim_module.h"

class UdpDiscovery : public SimModule {
 public:
  struct Options {
    int port = 6666;        // requests arrive here
    int reply_port = 6667;  // answers go to this port of the requester
    int per_datagram = 1;
    int delay_ms = 0;       // each answer datagram waits a random 0..delay_ms
    bool answer_twice = false;
    bool answer_broadcast = false;  // answer to 255.255.255.255 on the request's interface
    bool garbage = false;
    int flood_ms = 0;
    int flood_interval_ms = 20;
    int flood_burst = 1;           // flood datagrams sent at each interval
    std::vector<int> junk_sizes;   // one datagram of random Base64 characters per size
    int junk_random = 0;           // datagrams of random bytes and random sizes
    std::vector<std::string> extra_texts;  // packet texts sent after the devices'
    std::uint32_t seed = 1;
  };

  // Called on the module's thread for every control package (flag 03), with
  // its plain text and its sender, after the "control" log line.
  using ControlHandler = std::function<void(const std::string& plain_text, const sockaddr_in& from)>;

  UdpDiscovery(DeviceSet& devices, SimLog& log, Options options);
  ~UdpDiscovery() override;

  // Set before Serve() starts; without one, control packages are only logged.
  void SetControlHandler(ControlHandler handler) { control_handler_ = std::move(handler); }

  std::string Name() const override { return "udp"; }
  bool Open() override;
  void Serve(const StopSignal& stop) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Answer {
    std::vector<tComUnitInfo> devices;   // the snapshot it was encoded from
    std::vector<std::string> datagrams;  // device datagrams, then garbage and junk ones
    std::size_t device_datagrams = 0;
  };
  struct Pending {
    Clock::time_point when;
    std::uint64_t order;
    sockaddr_in to;
    int ifindex;  // the interface to send out of; 0: routed
    std::shared_ptr<const Answer> answer;
    std::size_t index;
    bool operator>(const Pending& o) const {
      return when != o.when ? when > o.when : order > o.order;
    }
  };
  struct Flood {
    sockaddr_in to;
    int ifindex;
    Clock::time_point next, until;
    std::shared_ptr<const Answer> answer;
    std::size_t sent = 0;
  };

  void HandleDatagram(const char* data, std::size_t len, const sockaddr_in& from, int ifindex);
  void ScheduleAnswer(const sockaddr_in& from, int ifindex);
  std::shared_ptr<const Answer> CurrentAnswer();
  void SendDue();
  int MsToNextSend() const;
  void Send(const std::string& datagram, const sockaddr_in& to, int ifindex);

  DeviceSet& devices_;
  SimLog& log_;
  Options options_;
  ControlHandler control_handler_;
  int sock_ = -1;
  std::mt19937 random_;
  std::shared_ptr<const Answer> cached_;
  std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending_;
  std::uint64_t order_ = 0;
  std::vector<Flood> floods_;
};
