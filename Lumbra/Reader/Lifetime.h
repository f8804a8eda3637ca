#pragma once

// How an object's coroutines learn that the object went while they waited. The one rule:
// every await in an object's coroutine goes through `guarded(m_lifetime, task)`; stop
// tokens only cancel requests, and nothing checks them to learn whether the owner lives.

#include <QtGlobal>
#include <exception>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>
#include <type_traits>
#include <utility>

// An object's lifetime as its coroutines and requests see it. It is the object's last
// member, so it ends first, before any other member: it marks the object gone, then stops
// the object's requests. A request that ends at once on that stop (an aborted reply resumes
// its awaiter there and then) finds the object already gone and resumes nothing into it.
class Lifetime final {
public:
    Lifetime() = default;
    ~Lifetime()
    {
        m_alive.reset();
        m_stop.request_stop();
    }
    Q_DISABLE_COPY_MOVE(Lifetime)

    // Stopped when the object goes: for the object's requests.
    std::stop_token token() const { return m_stop.get_token(); }

    // Whether the object still lives, for whatever may outlast it.
    class Watch {
    public:
        bool alive() const { return !m_alive.expired(); }

    private:
        friend class Lifetime;
        explicit Watch(std::weak_ptr<const bool> alive) : m_alive(std::move(alive)) {}
        std::weak_ptr<const bool> m_alive;
    };
    Watch watch() const { return Watch(m_alive); }

private:
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    std::stop_source m_stop;
};

// Thrown into a coroutine whose owner went while it waited: it unwinds every awaiting frame
// without running any more of their code. It is no LumbraError, so no handler of ours
// catches it; the outermost task keeps it and is dropped.
struct OwnerGone {};

// Awaits `task` and resumes the caller only while the owner lives; a failure is rethrown
// only then, so no handler runs for an object that is gone.
// A task that takes a lambda or a braced value is made first, as a named local, and moved
// in (GCC 12, see LumbraCore/Worker.h): `Task<T> t = work(...); co_await guarded(m_lifetime,
// std::move(t));`.
template <typename T> QCoro::Task<T> guarded(Lifetime::Watch owner, QCoro::Task<T> task)
{
    std::exception_ptr failure;
    if constexpr (std::is_void_v<T>) {
        try {
            co_await std::move(task);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!owner.alive()) throw OwnerGone{};
        if (failure) std::rethrow_exception(failure);
    } else {
        std::optional<T> value;
        try {
            value = co_await std::move(task);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!owner.alive()) throw OwnerGone{};
        if (failure) std::rethrow_exception(failure);
        co_return std::move(*value);
    }
}

template <typename T> QCoro::Task<T> guarded(const Lifetime& owner, QCoro::Task<T> task)
{
    return guarded(owner.watch(), std::move(task));
}

// `call` as a callback that does nothing once the owner is gone: for calls that may come
// after it, such as a request's progress.
template <typename Call> auto whileAlive(const Lifetime& owner, Call call)
{
    return [owner = owner.watch(), call = std::move(call)](auto&&... arguments) {
        if (owner.alive()) call(std::forward<decltype(arguments)>(arguments)...);
    };
}

// Sets a busy flag for as long as any task holding one lives (`running` counts them, in
// the owner), and clears it when the last one ends, on every way out, while the owner
// lives: a task a newer one replaced may end first.
template <typename Owner> class BusyWhile {
public:
    BusyWhile(const Lifetime& lifetime, Owner* owner, void (Owner::*set)(bool), int& running)
        : m_alive(lifetime.watch()), m_owner(owner), m_set(set), m_running(running)
    {
        ++running;
        (owner->*set)(true);
    }
    ~BusyWhile()
    {
        if (m_alive.alive() && --m_running == 0) (m_owner->*m_set)(false);
    }
    Q_DISABLE_COPY_MOVE(BusyWhile)

private:
    Lifetime::Watch m_alive;
    Owner* m_owner;
    void (Owner::*m_set)(bool);
    int& m_running; // touched only while the owner lives
};
