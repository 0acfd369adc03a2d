// Placeholder exchanges that find nothing, until the socket transport lands.
#include "protocol/transport.h"

void UdpSearchExchange(int, const SearchSettings&, DebugLog&, const AnswerSink&, const ExchangeLimits&) {}
void TcpRelayExchange(const SearchSettings&, DebugLog&, const AnswerSink&, const ExchangeLimits&) {}
int DM_CreateUDPBroadcastSocket(int, int* sock, sockaddr_in*, DebugLog&) {
  if (sock) *sock = -1;
  return -1;
}
int SendDatagram(int, const char*, const SearchSettings&, DebugLog&) { return -1; }
