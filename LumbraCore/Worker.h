#pragma once

// Moving work off the window's thread, and what coroutines here must keep clear of.
//
// GCC 12 and co_await: a class-type temporary made inside a co_await expression and passed
// by value to a coroutine is destroyed twice, and a co_await inside a braced initializer
// is mishandled. So tasks that take lambdas or braced values are made first, as named
// locals, and moved into the co_await; results are awaited into a local before they go
// into a braced initializer. Lambdas with captures must not be coroutines whose frames
// outlive the lambda object.

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <memory>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <type_traits>
#include <utility>

// Runs `work` on a pool thread and resumes with its result on the awaiting thread.
template <typename F> QCoro::Task<std::invoke_result_t<F>> onWorker(F work)
{
    using Result = std::invoke_result_t<F>;
    // Named, not a temporary of the co_await (see above).
    QFuture<Result> future = QtConcurrent::run(std::move(work));
    if constexpr (std::is_void_v<Result>)
        co_await future;
    else
        co_return co_await future;
}

// Runs `work` at once when `size` is below `inlineBelow`, where a thread hop would cost
// more than the work, and on a pool thread otherwise.
template <typename F>
QCoro::Task<std::invoke_result_t<F>> onWorkerWhenLarge(qsizetype size, qsizetype inlineBelow,
                                                       F work)
{
    if (size < inlineBelow) co_return work();
    co_return co_await onWorker(std::move(work));
}

namespace BackgroundDetail {
template <typename T> qsizetype sizeOf(const T& value)
{
    return value.size();
}
template <typename T> qsizetype sizeOf(const std::shared_ptr<T>& value)
{
    return value && value.use_count() == 1 ? value->size() : 0;
}
} // namespace BackgroundDetail

// Drops `value` (anything with a size(), or a shared pointer to it) on a worker thread when
// it is large: freeing a million strings holds the window's thread for a visible moment.
// Whatever else still shares the value keeps it.
template <typename T> void releaseInBackground(T value)
{
    if (BackgroundDetail::sizeOf(value) < 10'000) return; // freed here, at once
    QThreadPool::globalInstance()->start(
        [held = std::move(value)]() mutable { T gone = std::move(held); });
}
