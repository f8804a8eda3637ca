#pragma once

#include <QByteArray>
#include <memory>
#include <optional>

// Inflates a gzip or deflate reply body as it arrives, a bounded piece at a time, so that
// what the body inflates to is counted (and refused) before it is made: a few KB of a
// hostile body can inflate to gigabytes.
class Inflater {
public:
    // The inflater for a Content-Encoding; none for "identity" or no encoding. Throws
    // DecodingError for an encoding Lumbra did not ask for.
    static std::unique_ptr<Inflater> forEncoding(const QByteArray& contentEncoding);

    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // More of the compressed body.
    void feed(QByteArray compressed);
    // At most `most` more bytes of the inflated body; empty when what was fed is used up.
    // Throws DecodingError when the body is not what its encoding says.
    QByteArray take(qsizetype most);
    // Whether some of what was fed is not yet inflated.
    bool pending() const;
    // Whether the compressed body ended where its encoding says it ends.
    bool complete() const { return m_complete; }

private:
    Inflater();
    void restart(int windowBits);

    // How much of the body's start is kept to be read again as raw deflate.
    static constexpr qsizetype retryWithin = 64 << 10;

    struct Stream;
    std::unique_ptr<Stream> m_stream;
    QByteArray m_input;
    qsizetype m_used = 0; // of m_input
    bool m_complete = false;
    bool m_mayReadRaw = true;  // nothing inflated or ended yet: the start may be raw deflate
    bool m_moreOutput = false; // the last slice was filled; the stream may hold more
    bool m_undecided = false;  // after the end, whether a gzip member follows
    bool m_ignoreRest = false; // after the end came something else
};
