#include "Views/CertificateView.h"

#include "Views/Style.h"
#include "Views/Wording.h"

#include <QClipboard>
#include <QDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
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

// 32 bytes in four lines of 8, as people read them out to each other: narrow enough for
// any window, and the lines joined are the fingerprint.
QString fingerprintLines(const QString& hex)
{
    constexpr int line = 8 * 3;
    QStringList lines;
    for (qsizetype at = 0; at < hex.size(); at += line)
        lines << hex.mid(at, line).chopped(hex.size() - at > line ? 1 : 0);
    return lines.join(u":\n");
}

QString longDate(const QDateTime& time)
{
    return QLocale().toString(time.toLocalTime(), QLocale::LongFormat);
}

QString capitalised(QString text)
{
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

} // namespace

CertificateView::CertificateView(QWidget* parent)
    : QWidget(parent), m_problems(selectable(QString())), m_fields(new QFormLayout),
      m_copy(new QPushButton(tr("Copy"))), m_trust(new QPushButton(tr("Trust This Certificate")))
{
    Style::makeError(m_problems);
    // Values go under their names when the two do not fit side by side.
    m_fields->setRowWrapPolicy(QFormLayout::WrapLongRows);
    m_fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_copy->setAccessibleName(tr("Copy the certificate's details"));
    m_copy->setToolTip(tr("Copies every value above, to compare or send to the server's "
                          "administrator"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_copy);
    buttons->addWidget(m_trust);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_problems);
    layout->addLayout(m_fields);
    layout->addLayout(buttons);
    setAccessibleName(tr("Server certificate"));
    connect(m_trust, &QPushButton::clicked, this, [this] { Q_EMIT trustRequested(m_shown); });
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(summary()); });
}

void CertificateView::setCertificate(const CertificateInfo& certificate)
{
    m_shown = certificate;
    m_rows.clear();
    while (m_fields->rowCount() > 0)
        m_fields->removeRow(0);
    QStringList problems;
    for (const QString& problem : Wording::certificateProblems(certificate))
        problems << capitalised(problem);
    m_problems->setText(problems.join(u'\n'));
    m_problems->setVisible(!problems.isEmpty());
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QList<QWidget*> stops{m_problems};
    const auto row = [&](const QString& name, const QString& value, const QString& shown,
                         bool fixedWidth) {
        QLabel* field = selectable(shown);
        // Orca says the label it is the buddy of, then the name: the row, then the value
        // whole, whatever its lines. A description it does not read for a label.
        field->setAccessibleName(value);
        stops << field;
        // Whole on its lines, as grouped: where the window is narrower, the page scrolls.
        field->setWordWrap(false);
        if (fixedWidth) field->setFont(fixed);
        auto* label = new QLabel(name);
        label->setBuddy(field);
        m_fields->addRow(label, field);
        m_rows.append({name, value});
    };
    const auto plain = [&](const QString& name, const QString& value) {
        row(name, value, value, false);
    };
    // A real certificate's names run long (a host, an organisation, a department): each
    // on a line of its own.
    const auto names = [&](const QString& name, const QString& value) {
        row(name, value, QString(value).replace(QStringLiteral(", "), QStringLiteral(",\n")),
            false);
    };
    const auto fingerprint = [&](const QString& name, const QString& value) {
        row(name, value, fingerprintLines(value), true);
    };
    plain(tr("Server"), certificate.origin);
    names(tr("Issued to"), certificate.subject);
    names(tr("Issued by"), certificate.issuer);
    plain(tr("Valid from"), longDate(certificate.validFrom));
    plain(tr("Valid until"), longDate(certificate.validUntil));
    fingerprint(tr("Certificate SHA-256"), certificate.fingerprint);
    fingerprint(tr("Public key SHA-256"), certificate.publicKey);
    if (certificate.pinned) {
        fingerprint(tr("Key trusted before"), *certificate.pinned);
        auto* warning = new QLabel(tr("This is not the certificate you trusted for this server. "
                                      "Trust it only if its administrator says it changed."));
        warning->setWordWrap(true);
        Style::makeError(warning);
        m_fields->addRow(warning);
    }
    // Read in the order shown, before the buttons that act on what was read (rows join
    // the window's focus chain at its end).
    stops << m_copy << m_trust;
    for (qsizetype at = 1; at < stops.size(); ++at)
        setTabOrder(stops[at - 1], stops[at]);
    m_trust->setVisible(certificate.trustable);
}

std::unique_ptr<QDialog> CertificateView::inDialog(QWidget* parent,
                                                   const CertificateInfo& certificate)
{
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setWindowTitle(tr("Server Certificate"));
    auto* view = new CertificateView(dialog.get());
    view->setCertificate(certificate);
    auto* close = new QPushButton(tr("Close"), dialog.get());
    auto* layout = new QVBoxLayout(dialog.get());
    layout->addWidget(view);
    layout->addWidget(close, 0, Qt::AlignRight);
    connect(close, &QPushButton::clicked, dialog.get(), &QDialog::reject);
    Style::keepTitleWhole(dialog.get());
    return dialog;
}

QString CertificateView::summary() const
{
    QStringList lines;
    for (const auto& [name, value] : m_rows)
        //: One line of a certificate's details as copied: a name, then its value.
        lines << tr("%1: %2").arg(name, value);
    return lines.join(u'\n');
}
