#pragma once

// Internal: an item list decoded on a thread of its own while the rest of it is still
// arriving, so that when the last byte is in, only the last piece is left to decode.

#include "LumbraCore/internal/BackgroundSink.h"
#include "LumbraCore/internal/ItemStream.h"

class BackgroundItemStream final : public BackgroundSink {
public:
    // Waits for the piece being decoded, if any; pieces not yet begun are dropped.
    ~BackgroundItemStream() override { abandon(); }

    // The items, once every piece was written; throws DecodingError or OutOfMemoryError.
    QCoro::Task<ItemsResponse> finish();

private:
    void take(const QByteArray& piece) override;

    ItemStream m_stream;
};
