#include "LumbraCore/MailLink.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace {

constexpr qsizetype maxRecipients = 20;
constexpr qsizetype maxAddress = 254; // the longest address SMTP carries
constexpr qsizetype maxSubject = 500;
constexpr qsizetype maxBody = 8000;

// "local@domain", without the characters that would make it more than one address or a
// header of its own.
bool isAddress(const QString& address)
{
    if (address.isEmpty() || address.size() > maxAddress) return false;
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0 || at == address.size() - 1) return false;
    for (const QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == u',' || c == u';' || c == u'<' ||
            c == u'>' || c == u'?' || c == u'&' || c == u'"' || c == u'(' || c == u')' ||
            c == u'\\' || c == u'[' || c == u']' || c == u':' ||
            c.category() == QChar::Other_Format || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

void addAddresses(QStringList& into, const QString& list)
{
    for (const QString& part : list.split(u',')) {
        const QString address = part.trimmed();
        if (into.size() < maxRecipients && isAddress(address) && !into.contains(address))
            into << address;
    }
}

QString decoded(const QByteArray& encoded)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
}

// RFC 6068 encoding: only unreserved characters stay as they are; "@" too in addresses.
QByteArray encoded(const QString& text, const QByteArray& alsoKept = {})
{
    return text.toUtf8().toPercentEncoding(alsoKept);
}

// A subject is one line: no control characters (a line break would add headers of its
// own), and no bidirectional controls, which show the mail program's user other text than
// the words.
QString plainLine(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\r' || c == u'\n')
            line += u' ';
        else if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            line += c;
    }
    return line;
}

// A body's lines end in CR LF, as RFC 6068 has them; other control characters go, but tabs.
QString bodyText(const QString& text)
{
    QString body;
    body.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (c == u'\r' || c == u'\n') {
            body += QStringLiteral("\r\n");
            if (c == u'\r' && at + 1 < text.size() && text.at(at + 1) == u'\n') ++at;
        } else if (c == u'\t' || c.category() != QChar::Other_Control) {
            body += c;
        }
    }
    return body;
}

QString bounded(QString text, qsizetype limit)
{
    if (text.size() > limit) {
        text.truncate(limit);
        if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
    }
    return text;
}

} // namespace

std::optional<QUrl> safeMailLink(const QUrl& url)
{
    if (!url.isValid() || url.scheme().toLower() != QLatin1StringView("mailto"))
        return std::nullopt;
    // Taken apart in its encoded form, so an encoded "&" or "?" stays inside its value.
    const QByteArray whole = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveFragment);
    const qsizetype question = whole.indexOf('?');
    const QByteArray to = question < 0 ? whole : whole.left(question);
    const QByteArray query = question < 0 ? QByteArray() : whole.mid(question + 1);

    QStringList recipients;
    QStringList copies;
    std::optional<QString> subject;
    std::optional<QString> body;
    addAddresses(recipients, decoded(to));
    for (const QByteArray& field : query.split('&')) {
        const qsizetype equals = field.indexOf('=');
        const QString name = decoded(equals < 0 ? field : field.left(equals)).toLower();
        const QString value = equals < 0 ? QString() : decoded(field.mid(equals + 1));
        if (name == QLatin1StringView("to"))
            addAddresses(recipients, value);
        else if (name == QLatin1StringView("cc"))
            addAddresses(copies, value);
        else if (name == QLatin1StringView("subject") && !subject)
            subject = bounded(plainLine(value), maxSubject);
        else if (name == QLatin1StringView("body") && !body)
            body = bounded(bodyText(value), maxBody);
    }

    QByteArray rebuilt = "mailto:";
    QList<QByteArray> encodedRecipients;
    for (const QString& address : std::as_const(recipients))
        encodedRecipients << encoded(address, "@");
    rebuilt += encodedRecipients.join(',');
    QList<QByteArray> fields;
    if (subject) fields << "subject=" + encoded(*subject);
    if (!copies.isEmpty()) {
        QList<QByteArray> encodedCopies;
        for (const QString& address : std::as_const(copies))
            encodedCopies << encoded(address, "@");
        fields << "cc=" + encodedCopies.join(',');
    }
    if (body) fields << "body=" + encoded(*body);
    if (recipients.isEmpty() && fields.isEmpty()) return std::nullopt; // nothing worth a draft
    if (!fields.isEmpty()) rebuilt += '?' + fields.join('&');
    return QUrl::fromEncoded(rebuilt, QUrl::StrictMode);
}
