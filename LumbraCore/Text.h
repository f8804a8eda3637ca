#pragma once

#include "LumbraCore/Records.h"

#include <QList>
#include <QString>
#include <optional>

// Timeline order: items dated up to `now` newest first (undated last, equal dates by higher
// id), then items dated in the future, soonest first (equal dates by higher id too).
QList<Item> newestFirst(QList<Item> items, qint64 now);

// A one-line plain-text preview of an HTML body, cut to at most `max` user-perceived
// characters at a space, with "…" appended when cut.
QString excerpt(const std::optional<QByteArray>& html, qsizetype max);
QString excerpt(const std::optional<QString>& html, qsizetype max);

// Decodes the five named references, numeric references and finally "&amp;".
QString decodeEntities(const QString& text);
