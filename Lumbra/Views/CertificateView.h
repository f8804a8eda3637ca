#pragma once

#include "LumbraCore/Certificates.h"

#include <QWidget>

class QFormLayout;
class QPushButton;

// A server's certificate as a person checks it before trusting it: who it was issued to
// and by, how long it holds, and its fingerprints, selectable to compare with what the
// server's administrator reads from `openssl x509 -noout -fingerprint -sha256`. "Trust This
// Certificate" asks for it to be trusted.
class CertificateView final : public QWidget {
    Q_OBJECT

public:
    explicit CertificateView(QWidget* parent = nullptr);

    void setCertificate(const CertificateInfo& certificate);
    QPushButton* trustButton() const { return m_trust; }
    const CertificateInfo& shown() const { return m_shown; }

Q_SIGNALS:
    void trustRequested(const CertificateInfo& certificate);

private:
    QFormLayout* m_fields;
    QPushButton* m_trust;
    CertificateInfo m_shown;
};
