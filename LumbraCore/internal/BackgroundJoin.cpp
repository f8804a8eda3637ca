#include "LumbraCore/internal/BackgroundJoin.h"

#include "LumbraCore/Json.h"

#include <QThreadPool>

QCoro::Task<QByteArray> BackgroundJoin::finish()
{
    return finishWith<QByteArray>([this] {
        m_body.reserve(m_body.size() + Json::padding);
        return std::move(m_body);
    });
}

BackgroundJoin::~BackgroundJoin()
{
    abandon();
    if (m_body.size() > (1 << 20))
        QThreadPool::globalInstance()->start(
            [body = std::move(m_body)]() mutable { body = QByteArray(); });
}
