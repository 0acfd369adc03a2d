// Catches the addresses the window opens ("Browse") instead of a browser:
// QDesktopServices::setUrlHandler("http", &catcher, "Open").
#pragma once

#include <QObject>
#include <QUrl>
#include <string>
#include <vector>

class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }

 public:
  std::vector<std::string> urls;
};
