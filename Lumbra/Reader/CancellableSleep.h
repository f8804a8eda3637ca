#pragma once

#include <chrono>
#include <qcoro/qcorotask.h>
#include <stop_token>

// Waits on the monotonic clock; throws CancelledError as soon as `stop` is requested.
QCoro::Task<> sleepFor(std::chrono::milliseconds duration, std::stop_token stop);
