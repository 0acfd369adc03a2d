// The exchanges of a search over the network, as the window and the command
// line run them: the UDP and TCP exchanges on a thread of their own, their
// answers and log lines handed back to the owner's event loop in slices; the
// HTTP command's fetch in a wait that keeps that loop running.
#include "search/network_exchanges.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "httpcmd/http_page.h"
#include "httpcmd/table_parser.h"
#include "protocol/intake.h"
#include "protocol/interfaces.h"
#include "protocol/transport.h"
#include "search/owner_queue.h"

namespace {

// Hands debug log lines from the exchange's thread to the owner's thread.
class PostingLog : public DebugLog {
 public:
  PostingLog(OwnerQueue& queue, DebugLog& target) : queue_(queue), target_(target) {}
  void Append(const std::string& line) override {
    DebugLog* target = &target_;
    queue_.Post([target, line] { target->Append(line); });
  }

 private:
  OwnerQueue& queue_;
  DebugLog& target_;
};

class NetworkExchanges : public SearchExchanges {
 public:
  NetworkExchanges(DeviceTable& table, const SearchSettings& settings, DebugLog& log)
      : table_(table), settings_(settings), log_(log) {}
  ~NetworkExchanges() override { Join(); }

  void UdpSearch(int flag, std::function<void()> done) override {
    RunBeside(std::move(done), [this, flag](const SearchSettings& s, DebugLog& log, const ArrivalSink& sink) {
      port_held_ = UdpSearchExchange(flag, s, log, sink) == ExchangeEnd::kPortHeld;
    });
  }
  void TcpRelay(std::function<void()> done) override {
    RunBeside(std::move(done), [](const SearchSettings& s, DebugLog& log, const ArrivalSink& sink) {
      TcpRelayExchange(s, log, [&sink](const unsigned char* decoded, std::size_t size, std::size_t bound,
                                       std::string_view interface) {
        sink(decoded, size, bound, AnswerArrival{interface, 0});
      });
    });
  }
  void HttpCmd(const std::string& path, std::function<void()> done) override;
  bool CanBroadcast() const override {
    return !SelectInterfaces(BroadcastInterfaces(), settings_.interfaces).empty();
  }
  std::optional<std::size_t> AnswersHeard() const override { return answers_.load(); }
  bool PortHeld() const override { return port_held_.load(); }

 private:
  using Exchange = std::function<void(const SearchSettings&, DebugLog&, const ArrivalSink&)>;

  // Runs the exchange on a thread of its own; every answer is copied and
  // queued to this thread, followed by `done`.
  void RunBeside(std::function<void()> done, Exchange exchange) {
    Join();
    SearchSettings settings = settings_;
    answers_ = 0;
    port_held_ = false;
    worker_ = std::thread([this, settings, exchange = std::move(exchange), done = std::move(done)] {
      PostingLog log(queue_, log_);
      ArrivalSink sink = [this](const unsigned char* decoded, std::size_t size, std::size_t bound,
                                const AnswerArrival& arrival) {
        ++answers_;
        // The intake never walks past the bound, and the decoded bytes never
        // outnumber the bytes received, so the first `bound` bytes and a zero
        // carry the whole answer.
        std::size_t keep = bound < size ? bound : size;
        auto copy = std::make_shared<std::vector<unsigned char>>(decoded, decoded + keep);
        copy->push_back(0);
        copy->push_back(0);
        queue_.Post([this, copy = std::move(copy), keep, interface = std::string(arrival.interface),
                     local = arrival.local_address] {
          ParserPlainPkg(table_, settings_, log_, copy->data(), copy->size(), keep, interface, local);
        });
      };
      exchange(settings, log, sink);
      queue_.Post([this, done] {
        Join();
        done();
      });
    });
  }

  void Join() {
    if (worker_.joinable()) worker_.join();
  }

  DeviceTable& table_;
  const SearchSettings& settings_;
  DebugLog& log_;
  QObject context_;
  OwnerQueue queue_{&context_};
  std::thread worker_;
  std::atomic<std::size_t> answers_{0};  // datagrams of the last exchange
  std::atomic<bool> port_held_{false};   // the last UDP exchange found port 6667 held throughout
};

void NetworkExchanges::HttpCmd(const std::string& path, std::function<void()> done) {
  // The fetch waits in an event loop of its own, so the window keeps painting.
  std::vector<std::string> lines = FetchHttpCmdPage(settings_.relay_address, path);
  CleanHtml(lines);
  PhaseItem(lines, table_);
  done();
}

}  // namespace

std::unique_ptr<SearchExchanges> MakeNetworkExchanges(DeviceTable& table,
                                                      const SearchSettings& settings,
                                                      DebugLog& log) {
  return std::make_unique<NetworkExchanges>(table, settings, log);
}
