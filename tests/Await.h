#pragma once

// Test helper: runs a task to its end in a nested event loop and hands back its value or
// rethrows its exception (QCoro::waitFor would wait forever on a throwing task).

#include <QEventLoop>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>
#include <type_traits>

namespace detail {

template <typename T>
QCoro::Task<> finish(QCoro::Task<T> task, std::optional<T>& value, std::exception_ptr& error,
                     bool& done, QEventLoop& loop)
{
    try {
        value.emplace(co_await std::move(task));
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

inline QCoro::Task<> finish(QCoro::Task<> task, std::exception_ptr& error, bool& done,
                            QEventLoop& loop)
{
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

} // namespace detail

template <typename T> T await(QCoro::Task<T>&& task)
{
    QEventLoop loop;
    bool done = false;
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        auto runner = detail::finish(std::move(task), error, done, loop);
        if (!done) loop.exec();
        if (error) std::rethrow_exception(error);
    } else {
        std::optional<T> value;
        auto runner = detail::finish(std::move(task), value, error, done, loop);
        if (!done) loop.exec();
        if (error) std::rethrow_exception(error);
        return std::move(*value);
    }
}
