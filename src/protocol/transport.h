// Datagram and relay transport of the discovery protocol: the reply-socket
// opener (UDP port 6667), the datagram senders (UDP port 6666: to the relay,
// or as a limited broadcast out of each of the machine's interfaces), the
// two-pass UDP search exchange and the TCP relay exchange. Failures are lines
// in the debug log, never exceptions; every socket is closed on every path.
#pragma once

#include <netinet/in.h>

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "protocol/interfaces.h"

constexpr int kRequestPort = 6666;  // requests, control packages, TCP relay
constexpr int kReplyPort = 6667;    // answers to UDP requests

// Receives one decoded answer: `decoded` is a zero-filled buffer of
// `buffer_size` bytes holding the decoded bytes; `bound` is the number of
// bytes received for that answer; `interface` names the interface it came in
// on ("" when unknown, as for the TCP relay). Called on the exchange's calling
// thread, in arrival order. The intake (ParserPlainPkg) is the usual sink.
using AnswerSink = std::function<void(const unsigned char* decoded, std::size_t buffer_size,
                                      std::size_t bound, std::string_view interface)>;

// Where an answer of the UDP exchange arrived: the interface it came in on
// ("" when unknown) and the address of this machine it reached (network byte
// order; 0 when unknown, as for an answer sent to the limited broadcast
// address). See LocalAddressFor.
struct AnswerArrival {
  std::string_view interface;
  std::uint32_t local_address = 0;
};
// The same as AnswerSink, told where the answer arrived.
using ArrivalSink = std::function<void(const unsigned char* decoded, std::size_t buffer_size,
                                       std::size_t bound, const AnswerArrival& arrival)>;

// The receive buffer asked of the UDP exchange's reply socket, so that a burst
// of thousands of answers is not dropped while the intake works.
constexpr int kReplyReceiveBuffer = 4 * 1024 * 1024;

// Bounds of the exchanges; tests and benchmarks may change them.
struct ExchangeLimits {
  int quiet_ms = 250;         // a UDP pass ends after this long without a datagram
  int pass_cap_ms = 3000;     // ... and in any case after this long in all
  int tcp_connect_ms = 3000;  // the relay must accept within this
  int tcp_pause_ms = 1000;    // pause after the request before reading
  int tcp_read_ms = 5000;     // reading stops this long after the request was sent
  // Receive buffer asked for the reply sockets in all, shared among them
  // (the system doubles what it grants) ...
  int receive_buffer = kReplyReceiveBuffer;
  // ... and when above 0, the most any one socket asks: a benchmark asks what
  // net.core.rmem_max grants a normal user.
  int receive_buffer_cap = 0;
  // The most answer bytes the reply reader holds at once for the exchange
  // (ReplyReader::Options::max_held_bytes); beyond, answers are dropped and
  // counted (kReaderFullLog).
  std::size_t reader_max_held_bytes = std::size_t{64} << 20;
  // How long a UDP exchange waits for the claim on port 6667 (PortClaim)
  // while another search on this machine holds it.
  int port_wait_ms = 5000;
};

// How a UDP exchange ended.
enum class ExchangeEnd {
  kDone,      // it ran (whatever it heard, also when it could not send)
  kPortHeld,  // it never listened: another search on this machine held port
              // 6667 for all of port_wait_ms; nothing was sent
};

// The UDP exchange's reply sockets sharing port 6667.
constexpr int kReplySockets = 8;

// Opens a UDP socket with address reuse, bound to `port` on every local
// address. 0 with *sock open (the caller closes it) and *addr filled; -1 with
// *sock = -1 on failure, after logging the failing call.
int DM_CreateUDPBroadcastSocket(int port, int* sock, sockaddr_in* addr, DebugLog& log);

// Sends `text` (without its zero) as one datagram to `port` from a fresh
// broadcast-enabled socket: to inet_addr(settings.relay_address) when
// settings.ip_relay, else to 255.255.255.255 along the routing table (that
// is, out of the default route's interface only). 0 when sent, -1 otherwise.
int SendDatagram(int port, const char* text, const SearchSettings& settings, DebugLog& log);

// Sends `text` (without its zero) as one datagram to 255.255.255.255 `port`
// out of each of `interfaces`, once from each of its IPv4 addresses
// (AddressesOf), from one fresh broadcast-enabled socket: a device in any
// subnet of the link sees a requester in its own. A failure on one address
// is logged ("sendto() error : %s len=%d\n", then kNotSentOnLog) and the
// others go on. Result: the names of the interfaces it went out of (from at
// least one address), in order.
std::vector<std::string> SendBroadcastOn(const std::vector<NetInterface>& interfaces, int port,
                                         const char* text, DebugLog& log);

// Sends `len` bytes from `sock` as one datagram to `to` out of the interface
// `ifindex` with source address `source` (network byte order), both chosen by
// IP_PKTINFO (0: as routed, the interface's own address). Retries after
// signals. Result: that of sendmsg.
ssize_t SendThrough(int sock, const void* data, std::size_t len, const sockaddr_in& to, unsigned ifindex,
                    std::uint32_t source = 0);

// First takes the claim on port 6667 (PortClaim): while another search on
// this machine holds it, waits up to port_wait_ms (kPortWaitLog), and if it
// is still held then, ends at once with kPortHeld, having sent nothing. The
// claim is given up after the reply sockets are closed. (A claim that cannot
// be asked for at all is logged, kNoClaimLog, and the search goes on.)
// Then two passes, each sending the search request of `flag` (0 or 2) and taking
// answers on port 6667 until quiet_ms pass without one (or pass_cap_ms in
// all). With settings.ip_relay the request goes to the relay (SendDatagram);
// otherwise out of every interface that BroadcastInterfaces() lists now,
// limited to settings.interfaces when that is not empty, from each of its
// addresses (SendBroadcastOn), all in the same pass. With no such interface
// it logs kNoInterfaceLog (or kNoChosenInterfaceLog) and ends at once. The
// answers are taken by kReplySockets sockets sharing port 6667, drained by a
// ReplyReader while this thread decodes, so that a burst of answers is not
// lost while the sink works; answers the system dropped nonetheless are
// counted (kDroppedLog), and so are answers beyond what the reader may hold
// (kReaderFullLog). Answers are ordered and the quiet gap measured by their
// arrival on the monotonic clock.
ExchangeEnd UdpSearchExchange(int flag, const SearchSettings& settings, DebugLog& log,
                              const AnswerSink& sink, const ExchangeLimits& limits = {});
// The same, telling the sink where each answer arrived. The request goes
// out from every address of each interface, so a device may answer more
// than one; the sink sees each answer.
ExchangeEnd UdpSearchExchange(int flag, const SearchSettings& settings, DebugLog& log,
                              const ArrivalSink& sink, const ExchangeLimits& limits = {});

// One flag-02 request over TCP to the relay's port 6666; everything the relay
// sends before it closes (at most 65,535 bytes, within the limits) is decoded
// as one answer.
void TcpRelayExchange(const SearchSettings& settings, DebugLog& log, const AnswerSink& sink,
                      const ExchangeLimits& limits = {});

// Asks `bytes` of receive buffer for `sock` (SO_RCVBUFFORCE first, which only
// a privileged process may use, then SO_RCVBUF). When the system grants
// less, logs kReceiveBufferLog, the first time only in a run of the program
// (a normal user always gets less; nothing failed). Never fails. Result: the
// size the system reports.
int EnlargeReceiveBuffer(int sock, int bytes, DebugLog& log);

// Log lines of the bounds above (printf formats).
// A UDP pass stopped by pass_cap_ms: pass number (1 or 2), pass_cap_ms.
extern const char kPassCapLog[];  // "UDP pass %d stopped at its %d ms limit; answers so far kept\n"
// The relay did not accept within tcp_connect_ms ("CONNECT ERROR" follows).
extern const char kConnectTimeoutLog[];  // "TCP relay connect gave up after %d ms\n"
// Reading stopped tcp_read_ms after the request: tcp_read_ms, bytes kept.
extern const char kReadLimitLog[];  // "TCP relay read stopped at its %d ms limit; %d bytes kept\n"
// The reply socket got less receive buffer than asked: reported, asked.
extern const char kReceiveBufferLog[];  // "SO_RCVBUF is %d bytes, less than the %d asked\n"
// A broadcast search found no interface to go out of.
extern const char kNoInterfaceLog[];
// "No network interface to search on: none is up with an IPv4 address and broadcast (loopback is not used)\n"
// The same when --interface named some: the names asked.
extern const char kNoChosenInterfaceLog[];  // "None of the interfaces %s is up with an IPv4 address and broadcast\n"
// Port 6667 is held by another search on this machine: the port, the wait.
extern const char kPortWaitLog[];
// "UDP port %d is held by another search on this machine; waiting up to %d ms for it\n"
// ... and came free after this many ms.
extern const char kPortFreeLog[];  // "UDP port %d came free after %d ms\n"
// The claim could not be asked for: the port, the system's reason.
extern const char kNoClaimLog[];
// "Cannot tell whether another search holds UDP port %d (%s); searching anyway\n"
// A datagram did not go out of one interface: its name and address.
extern const char kNotSentOnLog[];  // "Not sent on %s (%s)\n"
// The system dropped answers because the reply sockets' buffers were full.
extern const char kDroppedLog[];  // "%llu answers dropped: the reply sockets' receive buffers were full\n"
// The reply reader dropped answers because it held reader_max_held_bytes:
// the number dropped in the whole search, and the limit in bytes.
extern const char kReaderFullLog[];
// "%llu answers dropped: %llu bytes of answers were already waiting to be read\n"
