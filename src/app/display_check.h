// Whether the window can reach a display, asked before the application
// object is made: Qt aborts inside QApplication's constructor when no
// platform it tries can connect, so the program asks first and can say
// what is wrong. Reads only what it is given and the sockets it names; any
// thread.
#pragma once

#include <string>

// What decides the display: the variables of the same names.
struct DisplayEnvironment {
  std::string qt_qpa_platform = {};   // QT_QPA_PLATFORM: Qt's platforms, tried in turn (";"-separated)
  std::string display = {};           // DISPLAY: the X display
  std::string wayland_display = {};   // WAYLAND_DISPLAY: a socket name or path
  std::string wayland_socket = {};    // WAYLAND_SOCKET: an open socket handed down
  std::string xdg_runtime_dir = {};   // XDG_RUNTIME_DIR: where Wayland sockets live
  std::string xdg_session_type = {};  // XDG_SESSION_TYPE: "wayland" makes Qt try Wayland first
  std::string qt_plugin_folder = {};  // where Qt's platform plugins are ("" for Qt's own)
  static DisplayEnvironment OfThisProcess();
};

// "" when one of the platforms Qt will try can show a window: an X display
// that accepts the connection (xcb_connect), a Wayland socket that accepts
// one (while Qt's Wayland plugin is installed), or a platform that needs no
// display (offscreen, vnc, ...). Else the line to print, starting
// "device-search: ", saying which display did not answer and what to set.
std::string DisplayProblem(const DisplayEnvironment& env);
