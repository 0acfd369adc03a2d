// The display check before the window: which displays answer, what the
// program prints when none does, and that it ends with status 1 rather than
// Qt's abort.
#include "app/display_check.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

// An X display number with no server: no socket file for it.
std::string UnusedXDisplay() {
  std::mt19937 random(std::random_device{}());
  for (;;) {
    const int n = 5000 + static_cast<int>(random() % 1000);
    if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n))) return ":" + std::to_string(n);
  }
}

// A listening Unix socket at `path` (closed on destruction), as a
// compositor's.
struct ListeningSocket {
  explicit ListeningSocket(const std::string& path) : fd(socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && listen(fd, 4) == 0;
  }
  ~ListeningSocket() { close(fd); }
  int fd;
  bool ok = false;
};

}  // namespace

TEST(DisplayCheck, SaysWhichDisplayDoesNotAnswer) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string runtime = dir.path().toStdString();
  ListeningSocket compositor(runtime + "/wayland-7");
  ASSERT_TRUE(compositor.ok);
  // A plugin folder with Qt's Wayland plugin and one without.
  const std::string with_plugin = runtime + "/plugins";
  ASSERT_TRUE(QDir().mkpath(dir.filePath("plugins/platforms")));
  QFile plugin(dir.filePath("plugins/platforms/libqwayland-generic.so"));
  ASSERT_TRUE(plugin.open(QIODevice::WriteOnly));
  const std::string without_plugin = runtime + "/none";
  const std::string x = UnusedXDisplay();
  const std::string hint = " (check DISPLAY and WAYLAND_DISPLAY, or use 'device-search search' without a window)";

  struct Case {
    DisplayEnvironment env;
    std::string problem;  // "" when a window can be shown
  };
  const Case cases[] = {
      {{}, "device-search: no display found (set DISPLAY, or use 'device-search search' without a window)"},
      {{.qt_qpa_platform = "offscreen"}, ""},  // needs no display
      {{.display = x}, "device-search: cannot show the window: the X display '" + x + "' cannot be opened" + hint},
      // Qt tries Wayland first, then X; either one that answers will do.
      {{.display = x, .wayland_display = "wayland-7", .xdg_runtime_dir = runtime, .qt_plugin_folder = with_plugin},
       ""},
      {{.display = x, .wayland_display = "wayland-8", .xdg_runtime_dir = runtime},
       "device-search: cannot show the window: the Wayland display 'wayland-8' does not answer; the X display '" + x +
           "' cannot be opened" + hint},
      {{.wayland_display = runtime + "/wayland-7", .qt_plugin_folder = with_plugin}, ""},  // a path
      {{.wayland_display = "wayland-7", .xdg_runtime_dir = runtime, .qt_plugin_folder = without_plugin},
       "device-search: cannot show the window: the Wayland display 'wayland-7' answers, but Qt's Wayland plugin is "
       "missing (install qt6-wayland)" + hint},
      // A Wayland session without WAYLAND_DISPLAY: Qt tries wayland-0.
      {{.xdg_runtime_dir = runtime, .xdg_session_type = "wayland"},
       "device-search: cannot show the window: the Wayland display 'wayland-0' does not answer" + hint},
      // QT_QPA_PLATFORM names the only platform tried.
      {{.qt_qpa_platform = "xcb", .wayland_display = "wayland-7", .xdg_runtime_dir = runtime,
        .qt_plugin_folder = with_plugin},
       "device-search: cannot show the window: DISPLAY is not set" + hint},
      {{.qt_qpa_platform = "wayland;xcb", .wayland_display = "wayland-7", .xdg_runtime_dir = runtime,
        .qt_plugin_folder = with_plugin},
       ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayProblem(c.env), c.problem) << c.env.display << "|" << c.env.wayland_display << "|"
                                                << c.env.qt_qpa_platform;
}

// The program itself: a display that cannot be reached gives the message
// and status 1 (Qt alone aborts with "could not connect to display").
TEST(DisplayCheck, TheProgramEndsWithAMessageAndStatusOne) {
  const std::string x = UnusedXDisplay();
  const std::string command = "env -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE "
                              "DISPLAY=" + x + " '" KDS_DEVICE_SEARCH_PATH "' 2>&1; echo \"status $?\"";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[512];
  while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
  pclose(pipe);
  EXPECT_EQ(out, "device-search: cannot show the window: the X display '" + x +
                     "' cannot be opened (check DISPLAY and WAYLAND_DISPLAY, or use 'device-search search' without a "
                     "window)\nstatus 1\n");
}
