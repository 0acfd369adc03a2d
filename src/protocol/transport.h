// Datagram and relay transport of the discovery protocol: the reply-socket
// opener (UDP port 6667), the datagram sender (UDP port 6666, to the limited
// broadcast address or the relay), the two-pass UDP search exchange and the
// TCP relay exchange. Failures are lines in the debug log, never exceptions;
// every socket is closed on every path.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <functional>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"

constexpr int kRequestPort = 6666;  // requests, control packages, TCP relay
constexpr int kReplyPort = 6667;    // answers to UDP requests

// Receives one decoded answer: `decoded` is a zero-filled buffer of
// `buffer_size` bytes holding the decoded bytes; `bound` is the number of
// bytes received for that answer. Called on the exchange's calling thread, in
// arrival order. The intake (ParserPlainPkg) is the usual sink.
using AnswerSink =
    std::function<void(const unsigned char* decoded, std::size_t buffer_size, std::size_t bound)>;

// Bounds of the exchanges; tests may shorten them.
struct ExchangeLimits {
  int quiet_ms = 250;         // a UDP pass ends after this long without a datagram
  int pass_cap_ms = 3000;     // ... and in any case after this long in all
  int tcp_connect_ms = 3000;  // the relay must accept within this
  int tcp_pause_ms = 1000;    // pause after the request before reading
  int tcp_read_ms = 5000;     // reading stops this long after the request was sent
};

// Opens a UDP socket with address reuse, bound to `port` on every local
// address. 0 with *sock open (the caller closes it) and *addr filled; -1 with
// *sock = -1 on failure, after logging the failing call.
int DM_CreateUDPBroadcastSocket(int port, int* sock, sockaddr_in* addr, DebugLog& log);

// Sends `text` (without its zero) as one datagram to `port` from a fresh
// broadcast-enabled socket: to inet_addr(settings.relay_address) when
// settings.ip_relay, else to 255.255.255.255. 0 when sent, -1 otherwise.
int SendDatagram(int port, const char* text, const SearchSettings& settings, DebugLog& log);

// Two passes, each sending the search request of `flag` (0 or 2) and taking
// answers on port 6667 until quiet_ms pass without one (or pass_cap_ms in all).
void UdpSearchExchange(int flag, const SearchSettings& settings, DebugLog& log,
                       const AnswerSink& sink, const ExchangeLimits& limits = {});

// One flag-02 request over TCP to the relay's port 6666; everything the relay
// sends before it closes (at most 65,535 bytes, within the limits) is decoded
// as one answer.
void TcpRelayExchange(const SearchSettings& settings, DebugLog& log, const AnswerSink& sink,
                      const ExchangeLimits& limits = {});
