#pragma once

#include "LumbraCore/Certificates.h"

#include <QWidget>
#include <memory>

class QDialog;
class QFormLayout;
class QLabel;
class QPushButton;

// A server's certificate as a person checks it before trusting it: who it was issued to
// and by, how long it holds, and its fingerprints, selectable to compare with what the
// server's administrator reads from `openssl x509 -noout -fingerprint -sha256`. "Trust This
// Certificate" asks for it to be trusted; Copy puts every value on the clipboard.
class CertificateView final : public QWidget {
    Q_OBJECT

public:
    explicit CertificateView(QWidget* parent = nullptr);

    void setCertificate(const CertificateInfo& certificate);
    // "Server Certificate": the view of `certificate` and a Close button.
    static std::unique_ptr<QDialog> inDialog(QWidget* parent, const CertificateInfo& certificate);
    QPushButton* trustButton() const { return m_trust; }
    QPushButton* copyButton() const { return m_copy; }
    QLabel* problems() const { return m_problems; }
    // Every row as "name: value", the values whole.
    QString summary() const;
    const CertificateInfo& shown() const { return m_shown; }

Q_SIGNALS:
    void trustRequested(const CertificateInfo& certificate);

private:
    QLabel* m_problems;
    QFormLayout* m_fields;
    QPushButton* m_copy;
    QPushButton* m_trust;
    QList<std::pair<QString, QString>> m_rows;
    CertificateInfo m_shown;
};
