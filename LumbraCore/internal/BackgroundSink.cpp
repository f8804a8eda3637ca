#include "LumbraCore/internal/BackgroundSink.h"

#include "LumbraCore/NetworkErrors.h"

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
                take(piece);
            } catch (...) {
                m_error = caughtForCaller();
                m_failed = true;
            }
        }
        m_backlog -= piece.size();
    });
}
