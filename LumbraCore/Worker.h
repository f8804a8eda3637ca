#pragma once

// Moving work off the window's thread, and what coroutines here must keep clear of. Every
// hop to another thread goes through these helpers.
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

// Sizes below which work runs on the thread that asks for it, because a hop to a worker
// would cost more than the work: each is named by what it counts.
namespace InlineBelow {
// Bytes of JSON decoded from a reply: simdjson reads these in well under a millisecond.
inline constexpr qsizetype decodedReplyBytes = 256 << 10;
// Bytes of a reply joined at its end; past them, the pieces are joined on a worker as they
// arrive, so that each is freed at once and the next reuses its memory.
inline constexpr qsizetype joinedReplyBytes = 1 << 20;
// Names ordered by the locale's collation.
inline constexpr qsizetype sortedNames = 500;
// Bytes of titles and bodies folded into search texts (about 30 ms a MB).
inline constexpr qsizetype foldedTextBytes = 256 << 10;
// Search texts scanned for the words on one thread; more are scanned in two halves.
inline constexpr qsizetype scannedTexts = 20'000;
// Bytes of an article body cut down to its excerpt.
inline constexpr qsizetype excerptedBodyBytes = 16 << 10;
// Titles read for the scripts that set the rows' height.
inline constexpr qsizetype sampledTitles = 20'000;
// Folders and feeds built into the sources' rows.
inline constexpr qsizetype builtSources = 5'000;
// Entries of a list freed at once: freeing a million strings holds a thread for a visible
// moment.
inline constexpr qsizetype freedEntries = 10'000;
} // namespace InlineBelow

// Runs `work` on a thread of `pool` (the shared pool by default) and resumes with its
// result on the awaiting thread.
template <typename F>
QCoro::Task<std::invoke_result_t<F>> onWorker(F work,
                                              QThreadPool* pool = QThreadPool::globalInstance())
{
    using Result = std::invoke_result_t<F>;
    // Named, not a temporary of the co_await (see above).
    QFuture<Result> future = QtConcurrent::run(pool, std::move(work));
    if constexpr (std::is_void_v<Result>)
        co_await future;
    else
        co_return co_await future;
}

// Runs `work` at once when `size` is below `inlineBelow` (one of InlineBelow's), and on a
// pool thread otherwise.
template <typename F>
QCoro::Task<std::invoke_result_t<F>> onWorkerWhenLarge(qsizetype size, qsizetype inlineBelow,
                                                       F work)
{
    if (size < inlineBelow) co_return work();
    co_return co_await onWorker(std::move(work));
}

// The pool for work nobody waits on yet; see unhurriedWhenLarge.
QThreadPool* unhurriedPool();

namespace WorkerDetail {
void lowerThisThread();
} // namespace WorkerDetail

// As onWorkerWhenLarge, for work nobody waits on yet, such as texts made ready for a later
// search. Its threads run below the others, so the list being
// drawn and an article's page get the cores first; on idle cores it runs at full speed.
template <typename F>
QCoro::Task<std::invoke_result_t<F>> unhurriedWhenLarge(qsizetype size, qsizetype inlineBelow,
                                                        F work)
{
    if (size < inlineBelow) co_return work();
    auto lowered = [work = std::move(work)]() mutable {
        WorkerDetail::lowerThisThread();
        return work();
    };
    co_return co_await onWorker(std::move(lowered), unhurriedPool());
}

// Runs `work` on a pool thread, for its effect only: slow first-use loads (fonts, TLS,
// collation data) made before the window's thread needs them.
template <typename F> void inBackground(F work)
{
    QThreadPool::globalInstance()->start(std::move(work));
}

// `scan(from, to)` over [0, count): at once when `count` is below `inlineBelow`, and
// otherwise its first half on a worker while the caller scans the second; the halves'
// lists joined in order.
template <typename Scan> auto inTwoHalves(qsizetype count, qsizetype inlineBelow, Scan scan)
{
    if (count < inlineBelow) return scan(0, count);
    auto first = QtConcurrent::run(scan, 0, count / 2);
    auto second = scan(count / 2, count);
    auto found = first.result();
    found += second;
    return found;
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
// it is large. Whatever else still shares the value keeps it.
template <typename T> void releaseInBackground(T value)
{
    if (BackgroundDetail::sizeOf(value) < InlineBelow::freedEntries) return; // freed here
    inBackground([held = std::move(value)]() mutable { T gone = std::move(held); });
}

// As releaseInBackground, on the unhurried pool: for a list that mostly shares its entries
// with the one replacing it, so letting it go frees little and only walks through it.
template <typename T> void releaseUnhurried(T value)
{
    if (BackgroundDetail::sizeOf(value) < InlineBelow::freedEntries) return; // freed here
    unhurriedPool()->start([held = std::move(value)]() mutable {
        WorkerDetail::lowerThisThread();
        T gone = std::move(held);
    });
}
