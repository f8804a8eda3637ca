#include "LumbraCore/ArticleBody.h"

#include <QtGlobal>
#include <memory>
#include <zstd.h>

namespace {

// Below this, a frame's header and tables outweigh what compression saves.
constexpr qsizetype compressedFrom = 128;
// Fast and still about four times smaller on article HTML; the decoding workers compress
// while the list arrives, so speed counts as much as size.
constexpr int level = 1;
constexpr qsizetype largestKeptScratch = 4 << 20;

struct Contexts {
    std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> compress{ZSTD_createCCtx(),
                                                                  &ZSTD_freeCCtx};
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> decompress{ZSTD_createDCtx(),
                                                                    &ZSTD_freeDCtx};
    QByteArray scratch;
};

// One per thread: a context is a few hundred KB, and the decoders make bodies by the
// hundred thousand.
Contexts& contexts()
{
    thread_local Contexts each;
    return each;
}

} // namespace

ArticleBody::ArticleBody(QByteArrayView html) : m_size(html.size())
{
    if (html.size() >= compressedFrom) {
        Contexts& c = contexts();
        c.scratch.resize(qsizetype(ZSTD_compressBound(size_t(html.size()))));
        const size_t written =
            ZSTD_compressCCtx(c.compress.get(), c.scratch.data(), size_t(c.scratch.size()),
                              html.data(), size_t(html.size()), level);
        if (!ZSTD_isError(written) && qsizetype(written) < html.size()) {
            // Copied out, so the body holds exactly its bytes and not the bound's.
            m_stored = QByteArray(c.scratch.constData(), qsizetype(written));
            m_compressed = true;
        }
        // A server's one huge body is not held again for as long as the thread lives.
        if (c.scratch.capacity() > largestKeptScratch) c.scratch = QByteArray();
        if (m_compressed) return;
    }
    m_stored = html.toByteArray();
}

QByteArray ArticleBody::html() const
{
    if (!m_compressed) return m_stored;
    QByteArray html(size(), Qt::Uninitialized);
    const size_t read =
        ZSTD_decompressDCtx(contexts().decompress.get(), html.data(), size_t(html.size()),
                            m_stored.constData(), size_t(m_stored.size()));
    // Only this class writes the frames, so this is memory running out.
    if (ZSTD_isError(read) || qsizetype(read) != html.size())
        qFatal("An article body could not be decompressed: %s", ZSTD_getErrorName(read));
    return html;
}

size_t qHash(const ArticleBody& body, size_t seed) noexcept
{
    return qHash(body.stored(), seed);
}
