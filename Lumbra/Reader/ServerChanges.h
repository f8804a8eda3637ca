#pragma once

#include "LumbraCore/NewsAPI.h"
#include "Reader/Lifetime.h"
#include "Reader/Notice.h"

#include <QString>
#include <functional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// Tells the server, in the background, about a change its owner has already made, and
// undoes it when the server refuses. Nothing runs once the owner is gone, so the callbacks
// may safely refer to it.
class ServerChanges final {
public:
    using Call = std::function<QCoro::Task<>(const NewsAPI&, std::stop_token)>;
    using Refused = std::function<void(const Failure& failure)>;

    // `owner` is its owner's lifetime, read only when a change is sent.
    ServerChanges(const Lifetime& owner, Refused refused)
        : m_owner(owner), m_refused(std::move(refused))
    {
    }

    // Sends `call` through `api`; when it fails, runs `undo` and reports the refusal, and
    // when it succeeds, runs `done`.
    void send(NewsAPI api, Call call, std::function<void()> undo,
              std::function<void()> done = {}) const;

private:
    const Lifetime& m_owner;
    Refused m_refused;
};
