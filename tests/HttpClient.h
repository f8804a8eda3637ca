#pragma once

// Test helper: one HTTP exchange over QNetworkAccessManager, waited for in the event loop.

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QTest>
#include <memory>

struct HttpResult {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray contentType;
};

inline QNetworkAccessManager& httpManager()
{
    static QNetworkAccessManager manager;
    return manager;
}

inline HttpResult httpSend(const QByteArray& method, const QString& url,
                           const QList<QPair<QByteArray, QByteArray>>& headers = {},
                           const QByteArray& body = {})
{
    QNetworkAccessManager& manager = httpManager();
    QNetworkRequest request{QUrl(url)};
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(20000);
    // Bodiless POSTs still carry "Content-Length: 0", as every Qt client sends them.
    const bool bodiless = method == "GET" || method == "DELETE";
    std::unique_ptr<QNetworkReply> reply(
        bodiless && body.isEmpty() ? manager.sendCustomRequest(request, method)
                                   : manager.sendCustomRequest(request, method, body + ""));
    QObject::connect(reply.get(), &QNetworkReply::sslErrors, reply.get(),
                     [](const QList<QSslError>&) {}); // untrusted stays refused
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 30000))
        qFatal("no reply from %s", qPrintable(url));
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->readAll();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    return result;
}

inline QByteArray basicAuth(const QString& user, const QString& password)
{
    return "Basic " + (user + u':' + password).toUtf8().toBase64();
}
