#include "LumbraCore/internal/BackgroundItemStream.h"

#include <QThread>

BackgroundItemStream::BackgroundItemStream()
{
    m_decoders.setMaxThreadCount(QThread::idealThreadCount());
}

void BackgroundItemStream::take(const QByteArray& piece)
{
    m_stream.feed(piece.constData(), piece.size());
}

QCoro::Task<ItemsResponse> BackgroundItemStream::finish()
{
    return finishWith<ItemsResponse>([this] { return m_stream.finish(); });
}
