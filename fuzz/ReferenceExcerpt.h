#pragma once

#include <QByteArray>
#include <QString>

// The first, pattern-based excerpt and entity decoder: slow on hostile input, but the
// meaning the linear ones must keep.
QString referenceExcerpt(const QByteArray& html, qsizetype max);
QString referenceDecodeEntities(const QString& text);
