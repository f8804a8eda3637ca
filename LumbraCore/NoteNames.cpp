#include "LumbraCore/NoteNames.h"

#include "LumbraCore/internal/Unicode.h"

#include <QUrl>

std::optional<QString> domainOf(const std::optional<QString>& url)
{
    if (!url) return std::nullopt;
    const QUrl parsed(Unicode::trimSpaces(*url), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty()) return std::nullopt;
    QString host = parsed.host().toLower();
    if (host.startsWith(QLatin1StringView("www."))) host.remove(0, 4);
    if (!host.contains(u'.')) return std::nullopt;
    return host;
}

QString safeNoteName(const QString& text)
{
    // Control characters too: a NUL ends the file name where the system reads it.
    static const auto forbidden = Unicode::compile(u"[\\\\/:*?\"<>|#^\\[\\]\\p{Cc}]");
    static const auto whiteSpace = Unicode::compile(u"\\s+");
    const icu::UnicodeString space(u" ");

    icu::UnicodeString name = Unicode::replaceAll(*forbidden, Unicode::toIcu(text), space);
    name = Unicode::replaceAll(*whiteSpace, name, space);
    name = Unicode::trimSpaces(name);
    bool cut = false;
    name = Unicode::leftGraphemes(name, 120, &cut);
    return Unicode::fromIcu(Unicode::trimSpaces(name));
}
