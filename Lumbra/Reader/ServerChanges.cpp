#include "Reader/ServerChanges.h"

namespace {

QCoro::Task<> sendChange(NewsAPI api, ServerChanges::Call call, std::function<void()> undo,
                         std::function<void()> done, ServerChanges::Refused refused,
                         std::stop_token lifetime)
{
    try {
        co_await call(api, lifetime);
    } catch (const LumbraError& failure) {
        if (lifetime.stop_requested()) co_return; // the owner is gone
        undo();
        refused(Failure::of(failure));
        co_return;
    }
    if (done && !lifetime.stop_requested()) done();
}

} // namespace

void ServerChanges::send(NewsAPI api, Call call, std::function<void()> undo,
                         std::function<void()> done) const
{
    sendChange(std::move(api), std::move(call), std::move(undo), std::move(done), m_refused,
               m_lifetime);
}
