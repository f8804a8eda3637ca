#pragma once

// Test helper: reads a note as Obsidian users' tools do, with a real YAML parser for the
// front matter and a real CommonMark parser for the rest, and says what they found.

#include <QString>
#include <QStringList>
#include <cmark.h>
#include <yaml-cpp/yaml.h>

struct ReadNote {
    bool frontMatter = false;
    YAML::Node fields;         // the front matter
    QStringList titleLinks;    // the title line's link targets
    QString title;             // the title line's text
    QList<QStringList> quotes; // each block quote's lines of text, its back link left out
    QStringList backLinks;     // each block quote's last link
    QStringList structure;     // any other block or inline the parsers found
};

inline QString literalOf(cmark_node* node)
{
    const char* text = cmark_node_get_literal(node);
    return text ? QString::fromUtf8(text) : QString();
}

// Obsidian's own inline syntax, which CommonMark reads as plain text: a comment (`%%`) hides
// what follows it, a wikilink (`[[`) links or embeds a note, a tag (`#word`) files the note.
// Escaped characters and link destinations do not count, as in Obsidian.
inline QStringList obsidianSyntax(const QString& body)
{
    QStringList found;
    for (qsizetype at = 0; at < body.size(); ++at) {
        const QChar c = body.at(at);
        const QChar next = at + 1 < body.size() ? body.at(at + 1) : QChar();
        if (c == u'\\') {
            ++at;
        } else if (c == u']' && next == u'(') {
            const QChar end = at + 2 < body.size() && body.at(at + 2) == u'<' ? u'>' : u')';
            for (at += 2; at < body.size() && body.at(at) != end; ++at)
                if (body.at(at) == u'\\') ++at;
        } else if (c == u'%' && next == u'%') {
            found << QStringLiteral("Obsidian comment");
        } else if (c == u'[' && next == u'[') {
            found << QStringLiteral("wikilink");
        } else if (c == u'#' && !next.isNull() && !next.isSpace() && next != u'#' &&
                   (at == 0 || body.at(at - 1).isSpace())) {
            found << QStringLiteral("tag");
        }
    }
    return found;
}

inline ReadNote readNote(const QString& note)
{
    ReadNote read;
    QString body = note;
    if (note.startsWith(u"---\n")) {
        const qsizetype end = note.indexOf(u"\n---\n", 3);
        if (end < 0) return read;
        read.frontMatter = true;
        read.fields = YAML::Load(note.mid(4, end - 4).toStdString());
        body = note.mid(end + 5);
    }
    read.structure << obsidianSyntax(body);
    const QByteArray bytes = body.toUtf8();
    cmark_node* document =
        cmark_parse_document(bytes.constData(), size_t(bytes.size()), CMARK_OPT_DEFAULT);
    bool first = true;
    for (cmark_node* block = cmark_node_first_child(document); block;
         block = cmark_node_next(block)) {
        const cmark_node_type type = cmark_node_get_type(block);
        if (first && type == CMARK_NODE_PARAGRAPH) {
            first = false;
            cmark_iter* it = cmark_iter_new(block);
            for (cmark_event_type event; (event = cmark_iter_next(it)) != CMARK_EVENT_DONE;) {
                cmark_node* node = cmark_iter_get_node(it);
                if (event != CMARK_EVENT_ENTER) continue;
                const cmark_node_type inner = cmark_node_get_type(node);
                if (inner == CMARK_NODE_LINK)
                    read.titleLinks << QString::fromUtf8(cmark_node_get_url(node));
                else if (inner == CMARK_NODE_TEXT)
                    read.title += literalOf(node);
                else if (inner != CMARK_NODE_PARAGRAPH)
                    read.structure << QString::fromUtf8(cmark_node_get_type_string(node));
            }
            cmark_iter_free(it);
            continue;
        }
        first = false;
        if (type != CMARK_NODE_BLOCK_QUOTE) {
            read.structure << QString::fromUtf8(cmark_node_get_type_string(block));
            continue;
        }
        QStringList lines{QString()};
        QString backLink;
        cmark_iter* it = cmark_iter_new(block);
        bool inLink = false;
        for (cmark_event_type event; (event = cmark_iter_next(it)) != CMARK_EVENT_DONE;) {
            cmark_node* node = cmark_iter_get_node(it);
            const cmark_node_type inner = cmark_node_get_type(node);
            if (inner == CMARK_NODE_LINK) {
                inLink = event == CMARK_EVENT_ENTER;
                if (inLink) backLink = QString::fromUtf8(cmark_node_get_url(node));
                continue;
            }
            if (event != CMARK_EVENT_ENTER || inLink) continue;
            switch (inner) {
            case CMARK_NODE_TEXT:
                lines.last() += literalOf(node);
                break;
            case CMARK_NODE_SOFTBREAK:
            case CMARK_NODE_LINEBREAK:
                lines << QString();
                break;
            case CMARK_NODE_PARAGRAPH:
                if (node != cmark_node_first_child(block)) lines << QString() << QString();
                break;
            case CMARK_NODE_BLOCK_QUOTE:
                if (node != block) read.structure << QStringLiteral("nested block quote");
                break;
            default:
                read.structure << QString::fromUtf8(cmark_node_get_type_string(node));
            }
        }
        cmark_iter_free(it);
        read.quotes << lines;
        read.backLinks << backLink;
    }
    cmark_node_free(document);
    return read;
}
