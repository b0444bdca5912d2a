#pragma once

// Debian's chromium, headless, driven through its chromedriver (WebDriver,
// JSON over HTTP): a page is loaded, clicked and typed into as a person
// would, and read back by script.

#include "tests/support/broker.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

class Browser {
 public:
  // WebDriver's keys: hold Control, Enter, let go of all.
  static constexpr QChar kControl = QChar(0xE009), kEnter = QChar(0xE007), kRelease = QChar(0xE000);

  bool start(int width = 1280, int height = 900) {
    port_ = Broker::freePorts(1)[0];
    driver_.setStandardOutputFile(QProcess::nullDevice());
    driver_.setStandardErrorFile(QProcess::nullDevice());
    endsWithTest(driver_);
    driver_.start(u"chromedriver"_qs, {QStringLiteral("--port=%1").arg(port_)});
    if (!driver_.waitForStarted() || !QTest::qWaitFor([&] { return call("GET", u"/status"_qs)[u"ready"].toBool(); }, 20000))
      return false;
    // Without the background services: this machine's network refuses them.
    const QJsonArray args{u"--headless=new"_qs, u"--no-sandbox"_qs, u"--disable-gpu"_qs, u"--disable-quic"_qs, u"--no-first-run"_qs,
                          u"--disable-background-networking"_qs, u"--disable-component-update"_qs, u"--disable-sync"_qs,
                          u"--user-data-dir="_qs + profile_.path(), QStringLiteral("--window-size=%1,%2").arg(width).arg(height)};
    const QJsonObject chrome{{u"binary"_qs, u"/usr/bin/chromium"_qs}, {u"args"_qs, args}};
    session_ = call("POST", u"/session"_qs, {{u"capabilities"_qs, QJsonObject{{u"alwaysMatch"_qs, QJsonObject{{u"goog:chromeOptions"_qs, chrome}}}}}})
                   [u"sessionId"].toString();
    return !session_.isEmpty();
  }
  ~Browser() {
    if (!session_.isEmpty()) call("DELETE", u"/session/"_qs + session_);
    driver_.kill();
    driver_.waitForFinished();
  }
  bool go(const QString &url) { return call("POST", at(u"/url"_qs), {{u"url"_qs, url}}).isNull(); }
  // The value a script returns (`return ...`), run in the page with its arguments.
  QJsonValue script(const QString &body, const QJsonArray &args = {}) {
    return call("POST", at(u"/execute/sync"_qs), {{u"script"_qs, body}, {u"args"_qs, args}});
  }
  // The first element for a CSS selector, clicked, or typed into (keys as a
  // person presses them, into the element that has the focus then).
  bool click(const QString &css) {
    const QString id = element(css);
    return !id.isEmpty() && call("POST", at(u"/element/"_qs + id + u"/click"_qs)).isNull();
  }
  bool type(const QString &css, const QString &keys) {
    const QString id = element(css);
    return !id.isEmpty() && call("POST", at(u"/element/"_qs + id + u"/value"_qs), {{u"text"_qs, keys}}).isNull();
  }
  QString text(const QString &css) { return script(u"const e = document.querySelector(arguments[0]); return e ? e.innerText : null"_qs, {css}).toString(); }
  // The name a screen reader gives the element.
  QString label(const QString &css) { return call("GET", at(u"/element/"_qs + element(css) + u"/computedlabel"_qs)).toString(); }
  QByteArray screenshot() { return QByteArray::fromBase64(call("GET", at(u"/screenshot"_qs)).toString().toLatin1()); }
  QString lastError() const { return error_; }

 private:
  QString at(const QString &path) const { return u"/session/"_qs + session_ + path; }
  QString element(const QString &css) {
    return call("POST", at(u"/element"_qs), {{u"using"_qs, u"css selector"_qs}, {u"value"_qs, css}})
        .toObject().begin().value().toString();  // {"element-6066-…": id}
  }
  // The command's "value"; an error is kept in lastError() and comes back as undefined.
  QJsonValue call(const QByteArray &method, const QString &path, const QJsonObject &body = {}) {
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_qs);
    QNetworkReply *reply = network_.sendCustomRequest(request, method, method == "GET" ? QByteArray() : QJsonDocument(body).toJson());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    const QJsonValue value = answer[u"value"];
    if (value.isObject() && value.toObject().contains(u"error")) {
      error_ = value[u"error"].toString() + u": "_qs + value[u"message"].toString();
      return QJsonValue(QJsonValue::Undefined);
    }
    return value;
  }

  QProcess driver_;
  QTemporaryDir profile_;
  QNetworkAccessManager network_;
  quint16 port_ = 0;
  QString session_;
  QString error_;
};
