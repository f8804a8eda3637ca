#include "LumbraCore/internal/BackgroundItemStream.h"

#include <qcoro/qcorofuture.h>

namespace {

struct Outcome {
    std::optional<ItemsResponse> items;
    std::exception_ptr error;
};

} // namespace

void BackgroundItemStream::take(const QByteArray& piece)
{
    m_stream.feed(piece.constData(), piece.size());
}

QCoro::Task<ItemsResponse> BackgroundItemStream::finish()
{
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside it.
    QFuture<Outcome> finishing = afterPieces([this] {
        Outcome outcome;
        outcome.error = error();
        if (!outcome.error) {
            try {
                outcome.items = m_stream.finish();
            } catch (...) {
                outcome.error = caughtForCaller();
            }
        }
        return outcome;
    });
    Outcome outcome = co_await finishing;
    if (outcome.error) std::rethrow_exception(outcome.error);
    co_return std::move(*outcome.items);
}
