#pragma once

// Servers whose certificate nobody vouches for (self-signed, a private authority): what a
// person compares before trusting one, and the public keys they trusted, each for one
// server only.

#include "LumbraCore/NetworkErrors.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSslError>
#include <QString>
#include <optional>

class QSslCertificate;
class QUrl;

// What the handshake found wrong with a certificate, most telling first.
enum class CertificateProblem {
    expired,
    notYetValid,
    otherName, // made for another server
    revoked,
    other,     // a fault only the handshake's own words name
    unvouched, // self-signed, or signed by an authority this computer does not know
};

// A server's certificate as the user is shown it.
struct CertificateInfo {
    QString origin; // "https://host:port", the server it was met at
    QString subject;
    QString issuer;
    QDateTime validFrom;
    QDateTime validUntil;
    // SHA-256 of the certificate, as `openssl x509 -noout -fingerprint -sha256` prints it.
    QString fingerprint;
    // SHA-256 of its public key, in the same form: what trusting it pins.
    QString publicKey;
    // Nothing is wrong with it but that nobody vouches for it: not another server's name,
    // not expired, not revoked. Only such a certificate may be trusted.
    bool trustable = false;
    QList<CertificateProblem> problems;
    // The public key trusted for this server before, when this certificate has another.
    std::optional<QString> pinned;

    friend bool operator==(const CertificateInfo&, const CertificateInfo&) = default;
};

// `certificate`, met at `url` with `errors`.
CertificateInfo describe(const QSslCertificate& certificate, const QUrl& url,
                         const QList<QSslError>& errors);

// "https://host:port", the port written out even when it is the default.
QString originOf(const QUrl& url);

// The public keys the user trusted: one per server, used for that server alone.
class CertificatePins {
public:
    std::optional<QString> pinFor(const QString& origin) const;
    void pin(const QString& origin, const QString& publicKey) { m_pins.insert(origin, publicKey); }
    void clear() { m_pins.clear(); }
    const QMap<QString, QString>& all() const { return m_pins; }
    void replaceAll(QMap<QString, QString> pins) { m_pins = std::move(pins); }

private:
    QMap<QString, QString> m_pins; // origin → public key
};

// The server's certificate is not trusted: nobody vouches for it, it was made for another
// server, it expired, or it is not the one the user trusted.
class UntrustedCertificateError : public NetworkError {
public:
    UntrustedCertificateError(CertificateInfo certificate, QString description)
        : NetworkError(QNetworkReply::SslHandshakeFailedError, std::move(description)),
          m_certificate(std::move(certificate))
    {
    }
    const CertificateInfo& certificate() const { return m_certificate; }

private:
    CertificateInfo m_certificate;
};
