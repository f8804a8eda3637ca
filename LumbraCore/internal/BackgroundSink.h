#pragma once

// Internal: a reply's body taken in on a thread of its own, piece by piece in the order
// the pieces arrived, while the rest of it is still arriving.

#include "LumbraCore/internal/Http.h"

#include "LumbraCore/Settled.h"
#include "LumbraCore/Worker.h"

#include <QThreadPool>
#include <atomic>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>

class BackgroundSink : public Http::BodySink {
public:
    BackgroundSink();

    ~BackgroundSink() override;
    void write(QByteArray piece) final;
    void inflate(std::unique_ptr<Inflater> inflater, qint64 limit) final;
    qint64 backlog() const final { return m_backlog; }
    bool failed() const final { return m_failed; }

protected:
    // Runs on the sink's thread, once for each piece (inflated, when the body came
    // compressed) until one throws.
    virtual void take(const QByteArray& piece) = 0;
    // What `make` makes on the sink's thread after every piece written so far; throws the
    // first failure of `take`, or of `make` (OutOfMemoryError when memory ran out).
    template <typename T, typename Make> QCoro::Task<T> finishWith(Make make);
    // Drops the pieces not yet taken and waits for the one being taken; derived classes
    // call it first in their destructor, while what `take` uses still exists.
    void abandon();

private:
    // On the sink's thread: the piece to `take`, inflated a slice at a time when it came
    // compressed.
    void takeInflated(const QByteArray& piece);
    // Throws NetworkError when a compressed body stopped short of its end.
    void checkComplete() const;

    QThreadPool m_thread;
    std::unique_ptr<Inflater> m_inflater;
    qint64 m_inflateLimit = 0;
    qint64 m_inflated = 0;
    std::exception_ptr m_error;
    std::atomic_bool m_abandoned = false;
    std::atomic<qint64> m_backlog = 0;
    std::atomic_bool m_failed = false; // m_error is set, for the writing thread
};

// An exception for the caller: memory running out becomes OutOfMemoryError.
std::exception_ptr caughtForCaller();

template <typename T, typename Make> QCoro::Task<T> BackgroundSink::finishWith(Make make)
{
    // Named, not a temporary of the co_await (GCC 12, see LumbraCore/Worker.h).
    QCoro::Task<Settled<T>> finishing = onWorker(
        [this, &make] {
            if (m_error) return Settled<T>{std::nullopt, m_error};
            return settled([this, &make] {
                checkComplete();
                return make();
            });
        },
        &m_thread);
    Settled<T> outcome = co_await std::move(finishing);
    co_return outcome.take();
}
