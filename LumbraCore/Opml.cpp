#include "LumbraCore/Opml.h"

#include "LumbraCore/Errors.h"

#include <QHash>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <QCoreApplication>
#include <algorithm>

namespace Opml {

QList<Entry> read(QByteArrayView document)
{
    if (document.size() > readLimit)
        throw DecodingError(QString(), QCoreApplication::translate(
                                           "DecodingError", "the list is larger than 10 MB"));
    QXmlStreamReader xml(document.toByteArray());
    QList<Entry> entries;
    // The outlines open around the current one, outermost first: a folder's name, or
    // nothing for a feed's outline.
    QStringList folders;
    bool opml = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            // Entities could grow a small file into a huge one, or read other files.
            throw DecodingError(
                QString(),
                QCoreApplication::translate("DecodingError", "the list declares a document type"));
        case QXmlStreamReader::StartElement:
            if (!opml) {
                if (xml.name() != u"opml")
                    throw DecodingError(QString(), QCoreApplication::translate(
                                                       "DecodingError", "not an OPML document"));
                opml = true;
            }
            if (xml.name() == u"outline") {
                const QXmlStreamAttributes attributes = xml.attributes();
                const QString title = attributes.value(QLatin1StringView("title")).isEmpty()
                                          ? attributes.value(QLatin1StringView("text")).toString()
                                          : attributes.value(QLatin1StringView("title")).toString();
                const QString url =
                    attributes.value(QLatin1StringView("xmlUrl")).toString().trimmed();
                // The outermost outline without a feed of its own is the folder.
                const auto outermost =
                    std::find_if(folders.cbegin(), folders.cend(),
                                 [](const QString& name) { return !name.isEmpty(); });
                if (!url.isEmpty())
                    entries.append(
                        {title.simplified(), url,
                         attributes.value(QLatin1StringView("htmlUrl")).toString().trimmed(),
                         outermost == folders.cend() ? QString() : *outermost});
                folders.append(url.isEmpty() ? title.simplified() : QString());
            }
            break;
        case QXmlStreamReader::EndElement:
            if (xml.name() == u"outline" && !folders.isEmpty()) folders.removeLast();
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
    return entries;
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
        xml.writeAttribute(QStringLiteral("text"), feed.title);
        xml.writeAttribute(QStringLiteral("title"), feed.title);
        xml.writeAttribute(QStringLiteral("xmlUrl"), *feed.url);
        if (feed.link && !feed.link->isEmpty())
            xml.writeAttribute(QStringLiteral("htmlUrl"), *feed.link);
    };
    QHash<qint64, bool> known;
    for (const Folder& folder : folders) {
        known.insert(folder.id, true);
        xml.writeStartElement(QStringLiteral("outline"));
        xml.writeAttribute(QStringLiteral("text"), folder.name);
        xml.writeAttribute(QStringLiteral("title"), folder.name);
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
