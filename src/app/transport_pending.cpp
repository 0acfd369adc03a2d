// Placeholder exchanges that find nothing, until the socket transport lands.
#include "protocol/transport.h"

void UdpSearchExchange(int, const SearchSettings&, DebugLog&, const AnswerSink&, const ExchangeLimits&) {}
void TcpRelayExchange(const SearchSettings&, DebugLog&, const AnswerSink&, const ExchangeLimits&) {}
