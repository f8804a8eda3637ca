#pragma once

// Moving work off the window's thread.

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <type_traits>

// Runs `work` on a pool thread and resumes with its result on the awaiting thread.
template <typename F> QCoro::Task<std::invoke_result_t<F>> onWorker(F work)
{
    using Result = std::invoke_result_t<F>;
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside it.
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
