// The display check before the application object: X through xcb, Wayland
// through its socket.
#include "app/display_check.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char kHint[] = "check DISPLAY and WAYLAND_DISPLAY, or use 'device-search search' without a window";

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool XAnswers(const std::string& display) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return ok;
}

// The socket's path, "" when it has none.
std::string WaylandSocketPath(const DisplayEnvironment& env) {
  const std::string name = env.wayland_display.empty() ? "wayland-0" : env.wayland_display;
  if (name.front() == '/') return name;
  return env.xdg_runtime_dir.empty() ? "" : env.xdg_runtime_dir + "/" + name;
}

bool WaylandAnswers(const DisplayEnvironment& env) {
  if (!env.wayland_socket.empty()) return true;  // connected already by whoever started us
  const std::string path = WaylandSocketPath(env);
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return ok;
}

bool WaylandPluginInstalled(const DisplayEnvironment& env) {
  const QString folder = env.qt_plugin_folder.empty() ? QLibraryInfo::path(QLibraryInfo::PluginsPath)
                                                      : QString::fromStdString(env.qt_plugin_folder);
  return !QDir(folder + "/platforms").entryList({"libqwayland*"}, QDir::Files).isEmpty();
}

}  // namespace

DisplayEnvironment DisplayEnvironment::OfThisProcess() {
  return {Variable("QT_QPA_PLATFORM"), Variable("DISPLAY"),         Variable("WAYLAND_DISPLAY"),
          Variable("WAYLAND_SOCKET"),  Variable("XDG_RUNTIME_DIR"), Variable("XDG_SESSION_TYPE"),
          ""};
}

std::string DisplayProblem(const DisplayEnvironment& env) {
  // The platforms Qt tries, in its order.
  std::vector<std::string> platforms;
  if (!env.qt_qpa_platform.empty()) {
    for (const QString& p : QString::fromStdString(env.qt_qpa_platform).split(';', Qt::SkipEmptyParts))
      platforms.push_back(p.section(':', 0, 0).toStdString());
  } else {
    if (!env.wayland_display.empty() || !env.wayland_socket.empty() || env.xdg_session_type == "wayland")
      platforms.push_back("wayland");
    if (!env.display.empty()) platforms.push_back("xcb");
  }
  if (platforms.empty())
    return "device-search: no display found (set DISPLAY, or use 'device-search search' without a window)";

  std::vector<std::string> failures;
  for (const std::string& platform : platforms) {
    if (platform == "xcb") {
      if (env.display.empty()) {
        failures.push_back("DISPLAY is not set");
      } else if (XAnswers(env.display)) {
        return "";
      } else {
        failures.push_back("the X display '" + env.display + "' cannot be opened");
      }
    } else if (platform.starts_with("wayland")) {
      const std::string name = env.wayland_display.empty() ? "wayland-0" : env.wayland_display;
      if (!WaylandAnswers(env)) {
        failures.push_back("the Wayland display '" + name + "' does not answer");
      } else if (!WaylandPluginInstalled(env)) {
        failures.push_back("the Wayland display '" + name + "' answers, but Qt's Wayland plugin is missing "
                           "(install qt6-wayland)");
      } else {
        return "";
      }
    } else {
      return "";  // offscreen, vnc, eglfs, ...: nothing to reach here
    }
  }
  std::string text = "device-search: cannot show the window: ";
  for (std::size_t i = 0; i < failures.size(); ++i) text += (i ? "; " : "") + failures[i];
  return text + " (" + kHint + ")";
}
