#include "Reader/Notice.h"

#include "LumbraCore/NetworkErrors.h"

Failure Failure::of(const LumbraError& error)
{
    Failure failure;
    failure.detail = error.description();
    if (const auto* news = dynamic_cast<const NewsError*>(&error)) {
        failure.kind =
            news->kind() == NewsError::Kind::notInstalled ? Kind::newsMissing : Kind::newsStatus;
        failure.request = news->name();
        failure.status = news->status();
    } else if (const auto* network = dynamic_cast<const NetworkError*>(&error)) {
        failure.kind = Kind::network;
        failure.network = network->code();
    }
    return failure;
}

Failure Failure::of(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const LumbraError& failure) {
        return of(failure);
    }
}
