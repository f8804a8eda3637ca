// Compressed reply bodies: inflating never crashes, hands out no more than it is asked for
// at a time, and gives the same bytes (or the same refusal) however the body is cut into
// pieces on the way.

#include "FuzzInput.h"
#include "LumbraCore/Errors.h"
#include "LumbraCore/internal/Inflater.h"

namespace {

struct Outcome {
    QByteArray inflated;
    bool refused = false;
    bool complete = false;
    bool large = false; // stopped at 16 MB, as a bomb would be
};

// The body fed in pieces of `piece` bytes and taken in slices of `slice`.
Outcome inflated(const QByteArray& body, qsizetype piece, qsizetype slice)
{
    Outcome outcome;
    try {
        const std::unique_ptr<Inflater> inflater = Inflater::forEncoding("gzip");
        for (qsizetype at = 0; at < body.size(); at += piece) {
            inflater->feed(body.mid(at, piece));
            while (inflater->pending()) {
                const QByteArray taken = inflater->take(slice);
                FUZZ_REQUIRE(taken.size() <= slice);
                outcome.inflated += taken;
                // Deflate inflates at most about 1032 to 1; anything more is a fault here.
                FUZZ_REQUIRE(outcome.inflated.size() <= 1100 * body.size() + 1024);
                if (outcome.inflated.size() > (16 << 20)) {
                    outcome.large = true;
                    return outcome;
                }
            }
        }
        outcome.complete = inflater->complete();
    } catch (const DecodingError&) {
        outcome.refused = true;
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const Outcome whole = inflated(body, qMax<qsizetype>(1, body.size()), 1 << 20);
    const Outcome pieces = inflated(body, 3, 61);
    if (whole.large || pieces.large) return 0;
    FUZZ_REQUIRE(whole.refused == pieces.refused);
    FUZZ_REQUIRE(whole.complete == pieces.complete);
    if (!whole.refused) FUZZ_REQUIRE(whole.inflated == pieces.inflated);
    return 0;
}
