#include "LumbraCore/internal/BackgroundSink.h"

#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/internal/Inflater.h"

std::exception_ptr caughtForCaller()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return std::make_exception_ptr(OutOfMemoryError());
    } catch (...) {
        return std::current_exception();
    }
}

BackgroundSink::BackgroundSink()
{
    // One thread, so the pieces are taken in the order they arrived.
    m_thread.setMaxThreadCount(1);
}

BackgroundSink::~BackgroundSink() = default;

void BackgroundSink::inflate(std::unique_ptr<Inflater> inflater, qint64 limit)
{
    m_inflater = std::move(inflater);
    m_inflateLimit = limit;
}

void BackgroundSink::takeInflated(const QByteArray& piece)
{
    if (!m_inflater) return take(piece);
    // A slice at a time, so that what a small piece inflates to is never held at once.
    static constexpr qsizetype slice = qsizetype(1) << 20;
    m_inflater->feed(piece);
    while (m_inflater->pending() && !m_abandoned) {
        const QByteArray inflated = m_inflater->take(slice);
        m_inflated += inflated.size();
        if (m_inflated > m_inflateLimit) throw ReplyTooLargeError(m_inflateLimit);
        if (!inflated.isEmpty()) take(inflated);
    }
}

void BackgroundSink::checkComplete() const
{
    if (m_inflater && !m_inflater->complete()) throw NetworkError::cutShort();
}

void BackgroundSink::abandon()
{
    m_abandoned = true;
    m_thread.waitForDone();
}

void BackgroundSink::write(QByteArray piece)
{
    m_backlog += piece.size();
    m_thread.start([this, piece = std::move(piece)] {
        if (!m_abandoned && !m_error) {
            try {
                takeInflated(piece);
            } catch (...) {
                m_error = caughtForCaller();
                m_failed = true;
            }
        }
        m_backlog -= piece.size();
    });
}
