#pragma once

// What a piece of work came to, for a failure to be rethrown elsewhere: on another thread,
// or after other work has run.

#include "LumbraCore/Errors.h"

#include <exception>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

// Its value, or the exception it ended with.
template <typename T> struct Settled {
    std::optional<T> value;
    std::exception_ptr failure;

    // The value, or the failure thrown again.
    T take()
    {
        if (failure) std::rethrow_exception(failure);
        return std::move(*value);
    }
};

// What `work()` returns, or whatever it throws; memory running out becomes OutOfMemoryError,
// which says so in words.
template <typename F> Settled<std::invoke_result_t<F>> settled(F&& work) noexcept
{
    Settled<std::invoke_result_t<F>> result;
    try {
        result.value.emplace(std::forward<F>(work)());
    } catch (const std::bad_alloc&) {
        result.failure = std::make_exception_ptr(OutOfMemoryError());
    } catch (...) {
        result.failure = std::current_exception();
    }
    return result;
}
