#include "LumbraCore/internal/BackgroundJoin.h"

#include "LumbraCore/Json.h"

#include <qcoro/qcorofuture.h>

namespace {

struct Outcome {
    QByteArray body;
    std::exception_ptr error;
};

} // namespace

QCoro::Task<QByteArray> BackgroundJoin::finish()
{
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside it.
    QFuture<Outcome> finishing = afterPieces([this] {
        Outcome outcome;
        outcome.error = error();
        if (!outcome.error) {
            try {
                m_body.reserve(m_body.size() + Json::padding);
                outcome.body = std::move(m_body);
            } catch (...) {
                outcome.error = caughtForCaller();
            }
        }
        return outcome;
    });
    Outcome outcome = co_await finishing;
    if (outcome.error) std::rethrow_exception(outcome.error);
    co_return std::move(outcome.body);
}
