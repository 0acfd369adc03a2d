// Stand-ins for what a search drives, for tests of the driver and the window:
// controls that remember what they were set to, exchanges that feed given
// packet texts through the reply intake at once, and a UPnP phase whose merge
// the test ends by hand.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol/intake.h"
#include "protocol/search_controls.h"
#include "search/search_driver.h"

struct FakeControls : SearchControls {
  void SetSearchButton(bool enabled, const std::string& caption) override {
    button_enabled = enabled;
    button_caption = caption;
    captions.push_back(caption);
  }
  void SetCountLabel(const std::string& text) override { label = text; }
  bool button_enabled = true;
  std::string button_caption = "Device Search";
  std::vector<std::string> captions;  // every caption set, in order
  std::string label = "0 device(s) found!";
};

// Records which exchange ran ("udp0", "udp2", "tcp", "http <path>") and feeds
// `packets` (plain packet texts) through the intake for the UDP and TCP
// exchanges, as answers that came in on `interface`. Each ends at once.
struct FakeExchanges : SearchExchanges {
  FakeExchanges(DeviceTable& t, const SearchSettings& s) : table(t), settings(s) {}
  void UdpSearch(int flag, std::function<void()> done) override {
    Feed("udp" + std::to_string(flag));
    done();
  }
  void TcpRelay(std::function<void()> done) override {
    Feed("tcp");
    done();
  }
  void HttpCmd(const std::string& path, std::function<void()> done) override {
    calls.push_back("http " + path);
    done();
  }
  bool CanBroadcast() const override { return can_broadcast; }
  std::optional<std::size_t> AnswersHeard() const override { return answers; }
  bool PortHeld() const override { return port_held; }

  void Feed(const std::string& exchange) {
    calls.push_back(exchange);
    for (const std::string& p : packets) {
      std::vector<unsigned char> buf(p.begin(), p.end());
      buf.resize(buf.size() + 2, 0);
      ParserPlainPkg(table, settings, log, buf.data(), buf.size(), buf.size(), interface);
    }
  }

  DeviceTable& table;
  const SearchSettings& settings;
  NullLog log;
  std::vector<std::string> packets;
  std::string interface;
  bool can_broadcast = true;
  std::optional<std::size_t> answers;  // what AnswersHeard says
  bool port_held = false;              // what PortHeld says
  std::vector<std::string> calls;
};

// Counts its starts and holds the merge until the test calls `pending`.
struct FakeUpnp : UpnpPhase {
  void StartSearch() override {
    ++starts;
    in_progress = true;
  }
  void StartMerge(std::function<void()> merged) override { pending = std::move(merged); }
  bool InProgress() const override { return in_progress; }
  std::optional<std::size_t> RepliesHeard() const override { return replies; }
  int starts = 0;
  std::optional<std::size_t> replies;  // what RepliesHeard says
  bool in_progress = false;
  std::function<void()> pending;
};
