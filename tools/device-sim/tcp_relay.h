// The simulator's TCP relay on port 6666: reads one request per connection
// and, for a search request (flag 00 or 02), sends every device's packet as
// one encoded text, then closes. Fault modes play broken relays. Each
// connection is served on a thread of its own, so a silent or slow one does
// not hold up the others.
//
// Log lines (standard output):
//   "tcp connection from A:P"
//   "tcp closed at once A:P"                    (--tcp-fault close)
//   "tcp no request from A:P"                   closed or quiet for 5 s before a request
//   "tcp request flag=NN from A:P"
//   "tcp ignored flag=NN from A:P"              not a search request: closed
//   "tcp answer to A:P devices=N bytes=M"
//   "tcp silent to A:P"                         (--tcp-fault silent) never answers
//   "tcp slow answer to A:P devices=N bytes=M"  (--tcp-fault slow) a byte at a time
//   "tcp slow answer to A:P cut after N bytes"  the client went away first
//   "tcp trickle to A:P devices=N bytes=M"      (--tcp-fault trickle) a byte a second
//   "tcp flood to A:P sent N bytes"             (--tcp-fault flood) answer, then filler
//   "tcp reset to A:P after N bytes"            (--tcp-fault reset) half, then a reset
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_set.h"
#include "sim_log.h"
#include "sim_module.h"
#include "sim_options.h"

class TcpRelay : public SimModule {
 public:
  struct Options {
    int port = 6666;
    TcpFault fault = TcpFault::kNone;
    int slow_byte_ms = 10;
    std::size_t flood_bytes = 10 * 1024 * 1024;  // all a flood sends, answer included
    std::vector<std::string> extra_texts;  // packet texts sent after the devices'
  };

  TcpRelay(DeviceSet& devices, SimLog& log, Options options);
  ~TcpRelay() override;

  std::string Name() const override { return "tcp"; }
  bool Open() override;
  void Serve(const StopSignal& stop) override;

 private:
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void HandleConnection(int fd, sockaddr_in from, const StopSignal& stop);
  void JoinFinished(bool all);

  DeviceSet& devices_;
  SimLog& log_;
  Options options_;
  int listen_fd_ = -1;
  std::vector<Connection> connections_;
};
