#pragma once

// Internal: an item list decoded on a thread of its own while the rest of it is still
// arriving, so that when the last byte is in, only the last piece is left to decode.

#include "LumbraCore/internal/Http.h"
#include "LumbraCore/internal/ItemStream.h"

#include <QThreadPool>
#include <atomic>
#include <exception>

class BackgroundItemStream final : public Http::BodySink {
public:
    BackgroundItemStream();
    // Waits for the piece being decoded, if any; pieces not yet begun are dropped.
    ~BackgroundItemStream() override;

    void write(QByteArray piece) override;
    qint64 backlog() const override { return m_backlog; }
    bool failed() const override { return m_failed; }
    // The items, once every piece was written; throws DecodingError or OutOfMemoryError.
    QCoro::Task<ItemsResponse> finish();

private:
    // Runs on the stream's thread.
    void feed(const QByteArray& piece);

    QThreadPool m_thread;
    ItemStream m_stream;
    std::exception_ptr m_error; // the first failure; later pieces are ignored
    std::atomic_bool m_abandoned = false;
    std::atomic<qint64> m_backlog = 0;
    std::atomic_bool m_failed = false; // m_error is set, for the writing thread
};
