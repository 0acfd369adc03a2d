// FetchHttpBody over QNetworkAccessManager, and the page's split into lines.
#include "httpcmd/http_page.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kMaxRedirects = 5;

// Moves what the reply holds into body, never past kHttpPageLimit.
void Drain(QNetworkReply& reply, std::string& body) {
  while (body.size() < kHttpPageLimit && reply.bytesAvailable() > 0) {
    const QByteArray chunk = reply.read(static_cast<qint64>(kHttpPageLimit - body.size()));
    if (chunk.isEmpty()) break;
    body.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
  }
}

}  // namespace

HttpFetchResult FetchHttpBody(const std::string& url_text, int timeout_ms) {
  HttpFetchResult result;
  if (QCoreApplication::instance() == nullptr) {
    result.outcome = HttpFetchOutcome::kNoApplication;
    return result;
  }
  // fromEncoded keeps what is already valid URL text exactly as it is; the
  // tolerant mode still accepts (and encodes) stray characters such as spaces.
  const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(url_text), QUrl::TolerantMode);
  if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
    result.outcome = HttpFetchOutcome::kInvalidUrl;
    return result;
  }

  QNetworkAccessManager manager;
  manager.setProxy(QNetworkProxy::NoProxy);
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::SameOriginRedirectPolicy);
  request.setMaximumRedirectsAllowed(kMaxRedirects);

  QNetworkReply* reply = manager.get(request);
  reply->setReadBufferSize(static_cast<qint64>(kHttpPageLimit));

  QEventLoop loop;
  QTimer bound;
  bound.setSingleShot(true);
  bound.setTimerType(Qt::PreciseTimer);  // a coarse timer may end the wait early
  bool timed_out = false;
  bool limit_reached = false;
  QObject::connect(&bound, &QTimer::timeout, &loop, [&] {
    timed_out = true;
    loop.quit();
  });
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
    Drain(*reply, result.body);
    if (result.body.size() >= kHttpPageLimit && !limit_reached) {
      limit_reached = true;
      reply->abort();  // emits finished
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

  bound.start(std::max(timeout_ms, 0));
  if (!reply->isFinished()) loop.exec();
  bound.stop();

  if (!limit_reached) Drain(*reply, result.body);
  if (result.body.size() >= kHttpPageLimit) limit_reached = true;
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  result.http_status = status.isValid() ? status.toInt() : 0;

  QObject::disconnect(reply, nullptr, &loop, nullptr);
  const bool status_ok = result.http_status >= 200 && result.http_status <= 299;
  if (limit_reached) {
    result.outcome = status_ok ? HttpFetchOutcome::kLimitReached : HttpFetchOutcome::kHttpStatus;
  } else if (timed_out && !reply->isFinished()) {
    result.outcome = HttpFetchOutcome::kTimeout;
  } else if (!reply->isFinished()) {
    result.outcome = HttpFetchOutcome::kCancelled;  // QCoreApplication::exit() ends every loop
  } else if (result.http_status != 0 && !status_ok) {
    result.outcome = HttpFetchOutcome::kHttpStatus;
  } else if (reply->error() != QNetworkReply::NoError) {
    result.outcome = HttpFetchOutcome::kNetworkError;  // also a reset in mid-body
  } else {
    result.outcome = HttpFetchOutcome::kOk;
  }
  if (!reply->isFinished()) reply->abort();
  delete reply;
  const bool has_body = result.outcome == HttpFetchOutcome::kOk ||
                        result.outcome == HttpFetchOutcome::kLimitReached ||
                        (result.outcome == HttpFetchOutcome::kTimeout && status_ok);
  if (!has_body) result.body.clear();
  return result;
}

std::vector<std::string> SplitPageLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
    lines.emplace_back(text.substr(start, i - start));
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  return lines;
}

void ApplyNoAvailableItemsRule(std::vector<std::string>& lines) {
  if (lines.size() > 4) return;
  for (const std::string& line : lines) {
    if (line.find("No available items") != std::string::npos) {
      lines.clear();
      return;
    }
  }
}

std::vector<std::string> FetchHttpCmdPage(const std::string& relay_text, const std::string& path,
                                          int timeout_ms) {
  HttpFetchResult fetch = FetchHttpBody("http://" + relay_text + path, timeout_ms);
  std::string_view text(fetch.body);
  const std::size_t zero = text.find('\0');
  text = text.substr(0, zero);
  std::vector<std::string> lines = SplitPageLines(text);
  // A page that the bound cut short may end in the middle of a row.
  const bool cut = fetch.outcome == HttpFetchOutcome::kTimeout && zero == std::string_view::npos &&
                   !text.empty() && text.back() != '\r' && text.back() != '\n';
  if (cut) lines.pop_back();
  ApplyNoAvailableItemsRule(lines);
  return lines;
}
