#include "Views/CertificateView.h"

#include "Views/Style.h"

#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* selectable(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    // Read and copied from the keyboard too: a screen reader user compares them as well.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus);
    return label;
}

QString fingerprintLines(const QString& hex)
{
    // 32 bytes in two lines of 16, as people read them out to each other; the colon stays,
    // so that the lines joined are the fingerprint.
    const int middle = 16 * 3;
    return hex.size() > middle ? hex.left(middle) + u'\n' + hex.mid(middle) : hex;
}

} // namespace

CertificateView::CertificateView(QWidget* parent)
    : QWidget(parent), m_fields(new QFormLayout),
      m_trust(new QPushButton(tr("Trust This Certificate")))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_fields);
    layout->addWidget(m_trust, 0, Qt::AlignCenter);
    setAccessibleName(tr("Server certificate"));
    connect(m_trust, &QPushButton::clicked, this, [this] { Q_EMIT trustRequested(m_shown); });
}

void CertificateView::setCertificate(const CertificateInfo& certificate)
{
    m_shown = certificate;
    while (m_fields->rowCount() > 0)
        m_fields->removeRow(0);
    const QLocale locale;
    const auto row = [&](const QString& name, const QString& value) {
        QLabel* field = selectable(value);
        field->setAccessibleName(name);
        m_fields->addRow(name, field);
    };
    row(tr("Server"), certificate.origin);
    row(tr("Issued to"), certificate.subject);
    row(tr("Issued by"), certificate.issuer);
    //: The dates a certificate holds between.
    row(tr("Valid"),
        tr("%1 to %2")
            .arg(locale.toString(certificate.validFrom.toLocalTime(), QLocale::ShortFormat),
                 locale.toString(certificate.validUntil.toLocalTime(), QLocale::ShortFormat)));
    row(tr("Certificate SHA-256"), fingerprintLines(certificate.fingerprint));
    row(tr("Public key SHA-256"), fingerprintLines(certificate.publicKey));
    if (certificate.pinned) {
        row(tr("Key trusted before"), fingerprintLines(*certificate.pinned));
        auto* warning = new QLabel(tr("This is not the certificate you trusted for this server. "
                                      "Trust it only if its administrator says it changed."));
        warning->setWordWrap(true);
        Style::makeError(warning);
        m_fields->addRow(warning);
    }
    m_trust->setVisible(certificate.trustable);
}
