#include "Reader/ServerChanges.h"

namespace {

// `api` lives in this frame: the request refers to it until it ends.
QCoro::Task<> sendChange(NewsAPI api, ServerChanges::Call call, std::function<void()> undo,
                         std::function<void()> done, ServerChanges::Refused refused,
                         Lifetime::Watch owner, std::stop_token stop)
{
    QCoro::Task<> request = call(api, stop);
    try {
        co_await guarded(owner, std::move(request));
    } catch (const LumbraError& failure) {
        undo();
        refused(Failure::of(failure));
        co_return;
    }
    if (done) done();
}

} // namespace

void ServerChanges::send(NewsAPI api, Call call, std::function<void()> undo,
                         std::function<void()> done) const
{
    sendChange(std::move(api), std::move(call), std::move(undo), std::move(done), m_refused,
               m_owner.watch(), m_owner.token());
}
