// A closed pipe noticed without writing: what poll tells of each kind of
// standard output a command may have.
#include "cli/closed_output.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

// Opens a pseudo-terminal: *master and the descriptor of its terminal side.
int OpenTerminal(int* master) {
  *master = posix_openpt(O_RDWR | O_NOCTTY);
  if (*master < 0 || grantpt(*master) != 0 || unlockpt(*master) != 0) return -1;
  return open(ptsname(*master), O_RDWR | O_NOCTTY);
}

}  // namespace

TEST(ClosedOutput, OnlyAPipeWithoutReaderOrAHungUpTerminalIsGone) {
  struct Case {
    const char* what;
    bool gone;
    // Returns the descriptor to ask about; `cleanup` closes what it opened.
    std::function<int(std::function<void()>* cleanup)> open;
  };
  const Case cases[] = {
      {"a pipe that is read", false,
       [](std::function<void()>* cleanup) {
         int fds[2];
         if (pipe(fds) != 0) return -1;
         *cleanup = [fds] {
           close(fds[0]);
           close(fds[1]);
         };
         return fds[1];
       }},
      {"a pipe whose reader has gone", true,
       [](std::function<void()>* cleanup) {
         int fds[2];
         if (pipe(fds) != 0) return -1;
         close(fds[0]);
         *cleanup = [fds] { close(fds[1]); };
         return fds[1];
       }},
      {"a regular file", false,
       [](std::function<void()>* cleanup) {
         FILE* file = std::tmpfile();
         *cleanup = [file] { std::fclose(file); };
         return fileno(file);
       }},
      {"/dev/null", false,
       [](std::function<void()>* cleanup) {
         const int fd = open("/dev/null", O_WRONLY);
         *cleanup = [fd] { close(fd); };
         return fd;
       }},
      {"a terminal", false,
       [](std::function<void()>* cleanup) {
         int master = -1;
         const int fd = OpenTerminal(&master);
         *cleanup = [fd, master] {
           close(fd);
           close(master);
         };
         return fd;
       }},
      {"a terminal that has hung up", true,
       [](std::function<void()>* cleanup) {
         int master = -1;
         const int fd = OpenTerminal(&master);
         close(master);
         *cleanup = [fd] { close(fd); };
         return fd;
       }},
      {"a descriptor that is not open", false, [](std::function<void()>*) { return 1000; }},
  };
  for (const Case& c : cases) {
    std::function<void()> cleanup = [] {};
    const int fd = c.open(&cleanup);
    ASSERT_GE(fd, 0) << c.what;
    EXPECT_EQ(OutputReaderGone(fd), c.gone) << c.what;
    cleanup();
  }
}

// The end by SIGPIPE comes whatever SIGPIPE's action is now (GLib ignores it
// once the UPnP search makes a socket), unless the program was started with
// it ignored.
TEST(ClosedOutputDeathTest, EndsBySigpipeUnlessStartedWithItIgnored) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool ends = SigpipeEndsTheProcess();
        signal(SIGPIPE, SIG_IGN);
        EndAsClosedPipe(ends);
        std::_Exit(3);
      },
      ::testing::KilledBySignal(SIGPIPE), "");
  EXPECT_EXIT(
      {
        signal(SIGPIPE, SIG_IGN);
        EndAsClosedPipe(SigpipeEndsTheProcess());
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}
