#include "LumbraCore/internal/BackgroundItemStream.h"

void BackgroundItemStream::take(const QByteArray& piece)
{
    m_stream.feed(piece.constData(), piece.size());
}

QCoro::Task<ItemsResponse> BackgroundItemStream::finish()
{
    return finishWith<ItemsResponse>([this] { return m_stream.finish(); });
}
