#include "LumbraCore/internal/BackgroundItemStream.h"

#include "LumbraCore/NetworkErrors.h"

#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace {

struct Outcome {
    std::optional<ItemsResponse> items;
    std::exception_ptr error;
};

std::exception_ptr caught()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return std::make_exception_ptr(OutOfMemoryError());
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

BackgroundItemStream::BackgroundItemStream()
{
    // One thread, so the pieces are decoded in the order they arrived.
    m_thread.setMaxThreadCount(1);
}

BackgroundItemStream::~BackgroundItemStream()
{
    m_abandoned = true;
    m_thread.waitForDone();
}

void BackgroundItemStream::write(QByteArray piece)
{
    m_backlog += piece.size();
    m_thread.start([this, piece = std::move(piece)] { feed(piece); });
}

void BackgroundItemStream::feed(const QByteArray& piece)
{
    if (!m_abandoned && !m_error) {
        try {
            m_stream.feed(piece.constData(), piece.size());
        } catch (...) {
            m_error = caught();
            m_failed = true;
        }
    }
    m_backlog -= piece.size();
}

QCoro::Task<ItemsResponse> BackgroundItemStream::finish()
{
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside it.
    QFuture<Outcome> finishing = QtConcurrent::run(&m_thread, [this] {
        Outcome outcome;
        outcome.error = m_error;
        if (!outcome.error) {
            try {
                outcome.items = m_stream.finish();
            } catch (...) {
                outcome.error = caught();
            }
        }
        return outcome;
    });
    Outcome outcome = co_await finishing;
    if (outcome.error) std::rethrow_exception(outcome.error);
    co_return std::move(*outcome.items);
}
