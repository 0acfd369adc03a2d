// The control package's default path to the network: reply socket on 6667,
// one datagram to 6666 through the transport's sender, socket closed again.
// Kept apart so that code which injects its own sender does not need the
// transport.
#include <unistd.h>

#include "netsetup/control_sender.h"
#include "protocol/transport.h"

int UdpControlPackageSender::Send(const char* encoded) {
  if (encoded == nullptr) return -1;
  int sock = -1;
  sockaddr_in addr{};
  if (DM_CreateUDPBroadcastSocket(kReplyPort, &sock, &addr, log_) != 0) return -1;
  int result = SendDatagram(kRequestPort, encoded, settings_, log_);
  if (sock >= 0) ::close(sock);
  return result;
}
