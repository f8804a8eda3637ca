#pragma once

#include "LumbraCore/Errors.h"

#include <QNetworkReply>

// The server answered with a status other than 200.
class NewsError : public LumbraError {
public:
    enum class Kind { http, notInstalled };

    // `message` is the server's own words for the refusal, when it gave some.
    static NewsError http(const QString& name, int status, const QString& message = {});
    static NewsError notInstalled();

    Kind kind() const { return m_kind; }
    // The request's path up to its "?" (for `http`).
    const QString& name() const { return m_name; }
    int status() const { return m_status; }
    const QString& message() const { return m_message; }

private:
    NewsError(Kind kind, QString name, int status, QString description)
        : LumbraError(std::move(description)), m_kind(kind), m_name(std::move(name)),
          m_status(status)
    {
    }
    Kind m_kind;
    QString m_name;
    int m_status;
    QString m_message;
};

// The exchange failed below HTTP: no connection, a time-out, TLS, a dropped connection.
// The description is Qt's own text for the failure.
class NetworkError : public LumbraError {
public:
    NetworkError(QNetworkReply::NetworkError code, QString description)
        : LumbraError(std::move(description)), m_code(code)
    {
    }
    // The connection closed before the whole reply arrived.
    static NetworkError cutShort()
    {
        return NetworkError(QNetworkReply::RemoteHostClosedError,
                            QStringLiteral("The server closed the connection before the whole "
                                           "reply arrived."));
    }
    QNetworkReply::NetworkError code() const { return m_code; }
    bool isTimeout() const { return m_code == QNetworkReply::TimeoutError; }

private:
    QNetworkReply::NetworkError m_code;
};

// The caller cancelled the operation; callers usually end silently on it.
class CancelledError : public LumbraError {
public:
    CancelledError() : LumbraError(QStringLiteral("The operation was cancelled.")) {}
};

// An address that cannot be requested at all; nothing was sent.
class InvalidAddressError : public LumbraError {
public:
    explicit InvalidAddressError(const QString& address);
    const QString& address() const { return m_address; }

private:
    QString m_address;
};

// An answer other than 200 to a plain download.
class HttpStatusError : public LumbraError {
public:
    explicit HttpStatusError(int status);
    int status() const { return m_status; }

private:
    int m_status;
};

// The reply grew past what the request accepts; the rest was not read.
class ReplyTooLargeError : public LumbraError {
public:
    explicit ReplyTooLargeError(qint64 limit);
    qint64 limit() const { return m_limit; }

private:
    qint64 m_limit;
};

// The server redirected a request to another server; it was not followed, so the
// credentials stayed here.
class RedirectError : public LumbraError {
public:
    explicit RedirectError(const QUrl& target);
    // The other server's host, with its port when it names one.
    const QString& host() const { return m_host; }

private:
    QString m_host;
};
