#pragma once

// Internal: a reply's body taken in on a thread of its own, piece by piece in the order
// the pieces arrived, while the rest of it is still arriving.

#include "LumbraCore/internal/Http.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <exception>

class BackgroundSink : public Http::BodySink {
public:
    BackgroundSink();

    void write(QByteArray piece) final;
    qint64 backlog() const final { return m_backlog; }
    bool failed() const final { return m_failed; }

protected:
    // Runs on the sink's thread, once for each piece until one throws.
    virtual void take(const QByteArray& piece) = 0;
    // The first failure of `take`, as the exception to give the caller; null when none.
    std::exception_ptr error() const { return m_error; }
    // Runs `work` on the sink's thread after every piece written so far.
    template <typename Work> auto afterPieces(Work work)
    {
        return QtConcurrent::run(&m_thread, std::move(work));
    }
    // Drops the pieces not yet taken and waits for the one being taken; derived classes
    // call it first in their destructor, while what `take` uses still exists.
    void abandon();

private:
    QThreadPool m_thread;
    std::exception_ptr m_error;
    std::atomic_bool m_abandoned = false;
    std::atomic<qint64> m_backlog = 0;
    std::atomic_bool m_failed = false; // m_error is set, for the writing thread
};

// An exception for the caller: memory running out becomes OutOfMemoryError.
std::exception_ptr caughtForCaller();
