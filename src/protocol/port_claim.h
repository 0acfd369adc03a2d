// An exclusive claim on one UDP port among the searches on this machine,
// taken for as long as a search listens on that port. The devices answer a
// search by unicast to UDP port 6667, and the kernel hands each datagram to
// only one of the sockets bound there: two searches listening at once would
// each get a part of the answers. A search takes the claim first and waits
// while another holds it.
//
// The claim is an abstract unix socket name ("kestra-device-search/udp/PORT"
// in the abstract namespace) bound exclusively: no file, no privilege, and
// the kernel frees it with the socket, so a search that crashed or was
// killed holds nothing. Abstract names belong to a network namespace, as the
// port does: a search in another namespace (a container, a test network)
// has a port and a claim of its own. Any local program may bind the name;
// one that does blocks searches as one bound to the port itself would.
//
// Thread: any; one object is used by one thread at a time.
#pragma once

#include <chrono>
#include <string>

class PortClaim {
 public:
  enum class Result {
    kTaken,   // this object holds the claim now
    kHeld,    // another holds it (another search, in this process or another)
    kFailed,  // the claim could not be asked for (no socket); errno says why
  };
  // How often Take asks again while the claim is held.
  static constexpr std::chrono::milliseconds kRetry{20};

  PortClaim() = default;
  ~PortClaim() { Release(); }
  PortClaim(const PortClaim&) = delete;
  PortClaim& operator=(const PortClaim&) = delete;

  // Asks once for the claim on `port`. REQUIRES: not Holding().
  Result TryTake(int port);
  // Asks until the claim is taken, asking fails, or `wait` has passed
  // (every kRetry; at least once). REQUIRES: not Holding().
  Result Take(int port, std::chrono::milliseconds wait);
  bool Holding() const { return fd_ >= 0; }
  // Gives the claim up; nothing when not holding it.
  void Release();

  // The abstract name of the claim on `port`, without its leading zero byte.
  static std::string NameOf(int port);

 private:
  int fd_ = -1;
};
