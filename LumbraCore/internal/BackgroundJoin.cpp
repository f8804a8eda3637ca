#include "LumbraCore/internal/BackgroundJoin.h"

#include "LumbraCore/Json.h"

#include "LumbraCore/Worker.h"

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
    releaseInBackground(std::move(m_body));
}
