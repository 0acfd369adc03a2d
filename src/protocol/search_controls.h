// The parts of the window that a search writes besides the grid: the search
// button (enabled state and caption) and the device count label. The main
// window, the headless mode and the tests each implement it.
#pragma once

#include <string>

class SearchControls {
 public:
  virtual ~SearchControls() = default;
  virtual void SetSearchButton(bool enabled, const std::string& caption) = 0;
  virtual void SetCountLabel(const std::string& text) = 0;
};
