// Test helpers for the HTTP command: the Qt application the fetch needs, the
// simulator's relay on a thread of its own, and a canned-answer server in the
// test's own event loop. Everything listens on 127.0.0.1 only.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "http_relay.h"
#include "records.h"

// The process's QCoreApplication, created on first use.
inline QCoreApplication& TestApp() {
  static int argc = 1;
  static char arg0[] = "httpcmd_test";
  static char* argv[] = {arg0, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

inline tComUnitInfo SimDevice(const char* model, const char* proj, const char* ip, const char* mac) {
  return MakeRecord({.model = model, .proj = proj, .name = std::string("Name of ") + model, .ip = ip,
                     .trigger_port = "80", .netmask = "255.255.255.0", .mac = mac});
}

// Runs RunHttpRelay on 127.0.0.1, a free port, until destroyed or Stop().
class RelayRunner {
 public:
  explicit RelayRunner(HttpRelayOptions options, std::vector<tComUnitInfo> devices = {})
      : devices_(std::move(devices)) {
    options.address = "127.0.0.1";
    options.port = 0;
    auto listening = std::make_shared<std::promise<int>>();
    std::future<int> port = listening->get_future();
    auto told = std::make_shared<bool>(false);  // touched on the relay's thread only
    options.on_listening = [listening, told](int p) {
      *told = true;
      listening->set_value(p);
    };
    thread_ = std::thread([this, options, listening, told] {
      result_ = RunHttpRelay(devices_, options, stop_, log_);
      if (!*told) listening->set_value(-1);
    });
    port_ = port.get();
  }
  ~RelayRunner() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }
  std::string relay_text() const { return "127.0.0.1:" + std::to_string(port_); }
  // The relay's log; call after Stop().
  std::string log() const { return log_.str(); }
  int result() const { return result_; }

 private:
  DeviceSet devices_;
  std::atomic<bool> stop_{false};
  std::ostringstream log_;
  std::thread thread_;
  int port_ = 0;
  int result_ = -2;
};

// Answers each request with the raw response given for its path; requests for
// other paths get no answer at all. Serves from the caller's event loop.
class CannedServer {
 public:
  CannedServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
  }
  int port() const { return server_.serverPort(); }
  std::string relay_text() const { return "127.0.0.1:" + std::to_string(port()); }
  void Answer(const std::string& path, const std::string& raw) { answers_[path] = raw; }
  // The request lines received, in order ("GET /x HTTP/1.1").
  std::vector<std::string> request_lines;

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      auto head = std::make_shared<std::string>();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, head] {
        const QByteArray data = socket->readAll();
        head->append(data.constData(), static_cast<std::size_t>(data.size()));
        if (head->find("\r\n\r\n") == std::string::npos) return;
        const std::string line = head->substr(0, head->find("\r\n"));
        head->clear();
        request_lines.push_back(line);
        const std::size_t sp1 = line.find(' ');
        const std::string path = line.substr(sp1 + 1, line.rfind(' ') - sp1 - 1);
        const auto it = answers_.find(path);
        if (it == answers_.end()) return;
        socket->write(it->second.data(), static_cast<qint64>(it->second.size()));
        socket->disconnectFromHost();
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  QTcpServer server_;
  std::map<std::string, std::string> answers_;
};

inline std::string HttpResponse(const std::string& status, const std::string& body,
                                const std::string& extra_headers = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extra_headers + "\r\n" + body;
}
