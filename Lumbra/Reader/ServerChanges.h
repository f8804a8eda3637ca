#pragma once

#include "LumbraCore/NewsAPI.h"
#include "Reader/Notice.h"

#include <QString>
#include <functional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// Tells the server, in the background, about a change the Reader has already made, and
// undoes it when the server refuses. Nothing runs after `lifetime` is stopped, so the
// callbacks may safely refer to their owner.
class ServerChanges final {
public:
    using Call = std::function<QCoro::Task<>(const NewsAPI&, std::stop_token)>;
    using Refused = std::function<void(const Failure& failure)>;

    ServerChanges(std::stop_token lifetime, Refused refused)
        : m_lifetime(std::move(lifetime)), m_refused(std::move(refused))
    {
    }

    // Sends `call` through `api`; when it fails, runs `undo` and reports the refusal, and
    // when it succeeds, runs `done`.
    void send(NewsAPI api, Call call, std::function<void()> undo,
              std::function<void()> done = {}) const;

private:
    std::stop_token m_lifetime;
    Refused m_refused;
};
