#pragma once

#include <QThreadPool>
#include <memory>
#include <utility>

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
