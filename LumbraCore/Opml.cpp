#include "LumbraCore/Opml.h"

#include "LumbraCore/Errors.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <QCoreApplication>
#include <algorithm>

namespace Opml {

List read(QByteArrayView document, const ReadProgress& goOn)
{
    if (document.size() > readLimit)
        throw DecodingError(QString(), QCoreApplication::translate(
                                           "DecodingError", "the list is larger than 10 MB"));
    QXmlStreamReader xml(document.toByteArray());
    List list;
    // For each outline open around the current one, whether it is a folder: one without a
    // feed of its own. Only the outermost folder counts, so its name and whether it holds a
    // feed are all that is kept of the folders.
    QList<bool> open;
    QSet<QString> named; // folders already in emptyFolders
    int foldersOpen = 0;
    QString outermost;
    bool outermostHoldsFeed = false;
    bool opml = false;
    qint64 toldAt = 0;
    while (!xml.atEnd()) {
        if (goOn && xml.characterOffset() - toldAt >= 64 * 1024) {
            toldAt = xml.characterOffset();
            if (!goOn(qsizetype(toldAt))) {
                list.stopped = true;
                return list;
            }
        }
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            // Entities could grow a small file into a huge one, or read other files.
            throw DecodingError(
                QString(),
                QCoreApplication::translate("DecodingError", "the list declares a document type"));
        case QXmlStreamReader::StartElement: {
            if (!opml) {
                if (xml.name() != u"opml")
                    throw DecodingError(QString(), QCoreApplication::translate(
                                                       "DecodingError", "not an OPML document"));
                opml = true;
            }
            if (xml.name() != u"outline") break;
            const QXmlStreamAttributes attributes = xml.attributes();
            const auto value = [&](const char* name) {
                return attributes.value(QLatin1StringView(name)).toString();
            };
            const QString title =
                (value("title").isEmpty() ? value("text") : value("title")).simplified();
            const QString url = value("xmlUrl").trimmed();
            const bool folder = url.isEmpty() && !title.isEmpty();
            if (!url.isEmpty()) {
                list.entries.append({title, url, value("htmlUrl").trimmed(),
                                     foldersOpen > 0 ? outermost : QString(), foldersOpen > 1});
                outermostHoldsFeed = true;
            }
            if (folder && foldersOpen++ == 0) {
                outermost = title;
                outermostHoldsFeed = false;
            }
            open.append(folder);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (xml.name() != u"outline" || open.isEmpty()) break;
            if (open.takeLast() && --foldersOpen == 0 && !outermostHoldsFeed &&
                !named.contains(outermost)) {
                named.insert(outermost);
                list.emptyFolders.append(outermost);
            }
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        throw DecodingError(QStringLiteral("line %1").arg(xml.lineNumber()), xml.errorString());
    if (!opml)
        throw DecodingError(QString(),
                            QCoreApplication::translate("DecodingError", "not an OPML document"));
    // A folder the list names twice holds feeds if either does.
    QSet<QString> holding;
    for (const Entry& entry : std::as_const(list.entries))
        holding.insert(entry.folder);
    list.emptyFolders.removeIf([&holding](const QString& name) { return holding.contains(name); });
    return list;
}

QString xmlText(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t c = text.at(at).unicode();
        const bool pair = QChar::isHighSurrogate(c) && at + 1 < text.size() &&
                          QChar::isLowSurrogate(text.at(at + 1).unicode());
        if (pair) {
            safe += text.mid(at++, 2);
            continue;
        }
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c < 0xD800) ||
                             (c >= 0xE000 && c <= 0xFFFD);
        safe += allowed ? QChar(c) : QChar(QChar::ReplacementCharacter);
    }
    return safe;
}

QByteArray write(const QList<Folder>& folders, const QList<Feed>& feeds)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("opml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Nextcloud News subscriptions"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("body"));
    const auto writeFeed = [&xml](const Feed& feed) {
        if (!feed.url) return;
        xml.writeEmptyElement(QStringLiteral("outline"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("rss"));
        xml.writeAttribute(QStringLiteral("text"), xmlText(feed.title));
        xml.writeAttribute(QStringLiteral("title"), xmlText(feed.title));
        xml.writeAttribute(QStringLiteral("xmlUrl"), xmlText(*feed.url));
        if (feed.link && !feed.link->isEmpty())
            xml.writeAttribute(QStringLiteral("htmlUrl"), xmlText(*feed.link));
    };
    QHash<qint64, bool> known;
    for (const Folder& folder : folders) {
        known.insert(folder.id, true);
        xml.writeStartElement(QStringLiteral("outline"));
        xml.writeAttribute(QStringLiteral("text"), xmlText(folder.name));
        xml.writeAttribute(QStringLiteral("title"), xmlText(folder.name));
        for (const Feed& feed : feeds)
            if (feed.folderId == folder.id) writeFeed(feed);
        xml.writeEndElement();
    }
    for (const Feed& feed : feeds)
        if (!feed.folderId || !known.contains(*feed.folderId)) writeFeed(feed);
    xml.writeEndElement(); // body
    xml.writeEndElement(); // opml
    xml.writeEndDocument();
    return out;
}

} // namespace Opml
