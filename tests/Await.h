#pragma once

// Runs a task to its end in a nested event loop and hands back its value or rethrows its
// exception (QCoro::waitFor would wait forever on a throwing task). A task that has not
// finished after `limit` fails the test with the place it was awaited, instead of hanging
// until CTest gives up.

#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <source_location>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace detail {

// Shared with the runner, which may outlive an await that gave up on it.
template <typename T> struct Awaited {
    QEventLoop loop;
    bool done = false;
    std::exception_ptr error;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
};

template <typename T> QCoro::Task<> finish(QCoro::Task<T> task, std::shared_ptr<Awaited<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            state->value.emplace(co_await std::move(task));
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
    state->loop.quit();
}

} // namespace detail

template <typename T>
T await(QCoro::Task<T>&& task, std::chrono::milliseconds limit = std::chrono::seconds(10),
        std::source_location where = std::source_location::current())
{
    auto state = std::make_shared<detail::Awaited<T>>();
    auto runner = detail::finish(std::move(task), state);
    if (!state->done) {
        QTimer::singleShot(limit, &state->loop, [&loop = state->loop] { loop.exit(1); });
        state->loop.exec();
    }
    if (!state->done) {
        const std::string failure = std::string("the task awaited in ") + where.function_name() +
                                    " (" + where.file_name() + ":" + std::to_string(where.line()) +
                                    ") did not finish within " + std::to_string(limit.count()) +
                                    " ms";
        qCritical("%s", failure.c_str()); // Qt Test reports only that something was thrown
        throw std::runtime_error(failure);
    }
    if (state->error) std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>) return std::move(*state->value);
}
