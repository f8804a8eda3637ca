#pragma once

// Internal: an item list decoded on threads of its own while the rest of it is still
// arriving, so that when the last byte is in, only the last pieces are left to decode. One
// thread finds where the items begin and end; the items themselves are decoded on as many
// threads as the machine has cores, a batch each.

#include "LumbraCore/internal/BackgroundSink.h"
#include "LumbraCore/internal/ItemStream.h"

class BackgroundItemStream final : public BackgroundSink {
public:
    BackgroundItemStream();
    // Waits for the piece being decoded, if any; pieces not yet begun are dropped, and
    // what was decoded is freed on a worker (a list cut at its limit holds gigabytes).
    ~BackgroundItemStream() override;

    // The items, once every piece was written; throws DecodingError or OutOfMemoryError.
    QCoro::Task<ItemsResponse> finish();

private:
    void take(const QByteArray& piece) override;

    QThreadPool m_decoders; // outlives m_stream, which hands it batches
    ItemStream m_stream{qsizetype(1) << 20, &m_decoders};
};
