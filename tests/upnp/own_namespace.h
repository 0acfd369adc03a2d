// Guard for the test programs that search or announce: they run only inside a
// network namespace made with `ip netns` (named under /run/netns), never in
// the machine's own one.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <string>

// True when this process's network namespace is one of the named namespaces.
inline bool InOwnNetworkNamespace() {
  struct stat self;
  if (stat("/proc/self/ns/net", &self) != 0) return false;
  struct stat init;
  if (stat("/proc/1/ns/net", &init) == 0 && init.st_ino == self.st_ino) return false;
  DIR* dir = opendir("/run/netns");
  if (!dir) return false;
  bool found = false;
  while (dirent* e = readdir(dir)) {
    std::string path = std::string("/run/netns/") + e->d_name;
    struct stat ns;
    if (e->d_name[0] != '.' && stat(path.c_str(), &ns) == 0 && ns.st_ino == self.st_ino &&
        ns.st_dev == self.st_dev) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}
