#include "LumbraCore/Certificates.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>

namespace {

// "AB:CD:…", as openssl prints fingerprints.
QString colonHex(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QString names(const QSslCertificate& certificate,
              QStringList (QSslCertificate::*info)(QSslCertificate::SubjectInfo) const)
{
    QStringList parts;
    for (const auto field : {QSslCertificate::CommonName, QSslCertificate::Organization,
                             QSslCertificate::OrganizationalUnitName})
        for (const QString& value : (certificate.*info)(field))
            if (!value.isEmpty()) parts << value;
    return parts.join(QStringLiteral(", "));
}

// The errors that say only that nobody vouches for the certificate.
bool onlyUnvouched(const QList<QSslError>& errors)
{
    for (const QSslError& error : errors) {
        switch (error.error()) {
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            break;
        default:
            return false;
        }
    }
    return !errors.isEmpty();
}

} // namespace

QString originOf(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme + QStringLiteral("://") + url.host().toLower() + u':' +
           QString::number(url.port(scheme == QLatin1StringView("https") ? 443 : 80));
}

CertificateInfo describe(const QSslCertificate& certificate, const QUrl& url,
                         const QList<QSslError>& errors)
{
    CertificateInfo info;
    info.origin = originOf(url);
    info.subject = names(certificate, &QSslCertificate::subjectInfo);
    info.issuer = names(certificate, &QSslCertificate::issuerInfo);
    info.validFrom = certificate.effectiveDate();
    info.validUntil = certificate.expiryDate();
    info.fingerprint = colonHex(certificate.digest(QCryptographicHash::Sha256));
    info.publicKey = colonHex(
        QCryptographicHash::hash(certificate.publicKey().toDer(), QCryptographicHash::Sha256));
    info.trustable = !certificate.isNull() && onlyUnvouched(errors);
    return info;
}

std::optional<QString> CertificatePins::pinFor(const QString& origin) const
{
    const auto found = m_pins.constFind(origin);
    if (found == m_pins.cend()) return std::nullopt;
    return *found;
}
