#pragma once

// Awaiting inside a QObject's coroutine when the object may go away meanwhile.

#include <QObject>
#include <QPointer>
#include <exception>
#include <qcoro/qcorotask.h>
#include <type_traits>
#include <utility>

// Thrown into a coroutine whose owner was destroyed while it waited: it unwinds every
// awaiting frame without running any more of their code. It is no LumbraError, so no
// handler of ours catches it; the outermost task keeps it and is dropped.
struct OwnerGone {};

// Awaits `task` and resumes the caller only while `owner` lives; a failure is rethrown
// only then, so no handler runs for an object that is gone.
// A task that takes a lambda or a braced value is made first, as a named local, and moved
// in (GCC 12, see LumbraCore/Worker.h): `Task<T> t = work(...); co_await guarded(this,
// std::move(t));`.
template <typename T> QCoro::Task<T> guarded(const QObject* owner, QCoro::Task<T> task)
{
    const QPointer<const QObject> alive(owner);
    std::exception_ptr failure;
    if constexpr (std::is_void_v<T>) {
        try {
            co_await std::move(task);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!alive) throw OwnerGone{};
        if (failure) std::rethrow_exception(failure);
    } else {
        std::optional<T> value;
        try {
            value = co_await std::move(task);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!alive) throw OwnerGone{};
        if (failure) std::rethrow_exception(failure);
        co_return std::move(*value);
    }
}

// `call` as a callback that does nothing once `owner` is gone: for calls that may come
// after the owner, such as a request's progress.
template <typename Owner, typename Call> auto whileAlive(Owner* owner, Call call)
{
    return [alive = QPointer<Owner>(owner), call = std::move(call)](auto&&... arguments) {
        if (alive) call(std::forward<decltype(arguments)>(arguments)...);
    };
}

// Sets a busy flag for as long as any task holding one lives (`running` counts them, in
// the owner), and clears it when the last one ends, on every way out, while the owner
// lives: a task a newer one replaced may end first.
template <typename Owner> class BusyWhile {
public:
    BusyWhile(Owner* owner, void (Owner::*set)(bool), int& running)
        : m_owner(owner), m_set(set), m_running(running)
    {
        ++running;
        (owner->*set)(true);
    }
    ~BusyWhile()
    {
        if (m_owner && --m_running == 0) (m_owner.data()->*m_set)(false);
    }
    Q_DISABLE_COPY_MOVE(BusyWhile)

private:
    QPointer<Owner> m_owner;
    void (Owner::*m_set)(bool);
    int& m_running; // read only while the owner lives
};
