#pragma once

// Internal: a large reply joined into one buffer on a thread of its own as it arrives.
// Each piece is freed once copied, so the thread reading the reply reads the next one into
// memory already in use instead of touching fresh pages (slow on some virtual machines).

#include "LumbraCore/internal/BackgroundSink.h"

class BackgroundJoin final : public BackgroundSink {
public:
    // A body left unfinished (past its limit, say: hundreds of MB) is freed on a worker;
    // giving back that many pages holds a thread for a tenth of a second.
    ~BackgroundJoin() override;

    // The body, with the JSON decoder's spare bytes, once every piece was written; throws
    // OutOfMemoryError.
    QCoro::Task<QByteArray> finish();

private:
    void take(const QByteArray& piece) override { m_body.append(piece); }

    QByteArray m_body;
};
