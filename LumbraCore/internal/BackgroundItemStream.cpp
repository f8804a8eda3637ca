#include "LumbraCore/internal/BackgroundItemStream.h"

#include "LumbraCore/Worker.h"

#include <QThread>

BackgroundItemStream::BackgroundItemStream()
{
    m_decoders.setMaxThreadCount(QThread::idealThreadCount());
}

BackgroundItemStream::~BackgroundItemStream()
{
    abandon();
    m_decoders.clear();
    auto [items, bytes] = m_stream.release();
    releaseInBackground(std::move(items));
    releaseInBackground(std::move(bytes));
}

void BackgroundItemStream::take(const QByteArray& piece)
{
    m_stream.feed(piece.constData(), piece.size());
}

QCoro::Task<ItemsResponse> BackgroundItemStream::finish()
{
    return finishWith<ItemsResponse>([this] { return m_stream.finish(); });
}
