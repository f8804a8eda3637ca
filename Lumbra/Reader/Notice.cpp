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
        failure.serverMessage = news->message();
    } else if (const auto* network = dynamic_cast<const NetworkError*>(&error)) {
        failure.kind = Kind::network;
        failure.network = network->code();
        if (const auto* untrusted = dynamic_cast<const UntrustedCertificateError*>(&error))
            failure.certificate = untrusted->certificate();
    } else if (const auto* status = dynamic_cast<const HttpStatusError*>(&error)) {
        failure.kind = Kind::httpStatus;
        failure.status = status->status();
    } else if (const auto* large = dynamic_cast<const ReplyTooLargeError*>(&error)) {
        failure.kind = Kind::tooLarge;
        failure.limit = large->limit();
    } else if (const auto* redirect = dynamic_cast<const RedirectError*>(&error)) {
        failure.kind = Kind::redirected;
        failure.request = redirect->host();
    } else if (const auto* address = dynamic_cast<const InvalidAddressError*>(&error)) {
        failure.kind = Kind::invalidAddress;
        failure.request = address->address();
    } else if (const auto* decoding = dynamic_cast<const DecodingError*>(&error)) {
        failure.kind = Kind::unreadable;
        failure.detail = decoding->path().isEmpty()
                             ? decoding->problem()
                             : decoding->path() + QStringLiteral(": ") + decoding->problem();
    } else if (dynamic_cast<const OutOfMemoryError*>(&error)) {
        failure.kind = Kind::outOfMemory;
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
