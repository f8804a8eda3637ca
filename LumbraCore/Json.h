#pragma once

#include "LumbraCore/Errors.h"
#include "LumbraCore/Records.h"

#include <QByteArray>

// Strict JSON forms of the records: keys are the field names, unknown keys are ignored,
// null or missing optionals are absent, and any wrong type fails the whole decode with a
// DecodingError. Decoding takes the reply bytes as they are; a buffer with 64 spare bytes
// of capacity after its end is read in place, anything else is copied once.
namespace Json {

template <typename T> T decode(const QByteArray& json);

QByteArray encode(const Account& account);

// Spare bytes the decoder needs after the data to read a buffer in place.
constexpr qsizetype padding = 64;

} // namespace Json
