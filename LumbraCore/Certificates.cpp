#include "LumbraCore/Certificates.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>
#include <algorithm>

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

CertificateProblem problemOf(QSslError::SslError error)
{
    switch (error) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return CertificateProblem::unvouched;
    case QSslError::CertificateExpired:
        return CertificateProblem::expired;
    case QSslError::CertificateNotYetValid:
        return CertificateProblem::notYetValid;
    case QSslError::HostNameMismatch:
        return CertificateProblem::otherName;
    case QSslError::CertificateRevoked:
        return CertificateProblem::revoked;
    default:
        return CertificateProblem::other;
    }
}

QList<CertificateProblem> problemsOf(const QList<QSslError>& errors)
{
    QList<CertificateProblem> problems;
    for (const QSslError& error : errors)
        if (const CertificateProblem problem = problemOf(error.error());
            !problems.contains(problem))
            problems << problem;
    std::sort(problems.begin(), problems.end());
    return problems;
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
    info.problems = problemsOf(errors);
    info.trustable = !certificate.isNull() &&
                     info.problems == QList<CertificateProblem>{CertificateProblem::unvouched};
    return info;
}

std::optional<QString> CertificatePins::pinFor(const QString& origin) const
{
    const auto found = m_pins.constFind(origin);
    if (found == m_pins.cend()) return std::nullopt;
    return *found;
}
