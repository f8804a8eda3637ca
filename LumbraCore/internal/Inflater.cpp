#include "LumbraCore/internal/Inflater.h"

#include "LumbraCore/Errors.h"

#include <QCoreApplication>
#include <zlib.h>

namespace {

// zlib's window with its wrapper detected (gzip or zlib), and without one.
constexpr int detectWrapper = 15 + 32;
constexpr int noWrapper = -15;

[[noreturn]] void unreadable(const QString& problem)
{
    throw DecodingError(
        QString(),
        QCoreApplication::translate("DecodingError", "compressed body: %1").arg(problem));
}

} // namespace

struct Inflater::Stream {
    z_stream z{};
    bool open = false;
    ~Stream()
    {
        if (open) inflateEnd(&z);
    }
};

Inflater::Inflater() : m_stream(std::make_unique<Stream>())
{
    restart(detectWrapper);
}

Inflater::~Inflater() = default;

std::unique_ptr<Inflater> Inflater::forEncoding(const QByteArray& contentEncoding)
{
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity") return nullptr;
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate")
        return std::unique_ptr<Inflater>(new Inflater());
    unreadable(QCoreApplication::translate("DecodingError",
                                           "encoded as “%1”, which Lumbra did not ask for")
                   .arg(QString::fromLatin1(contentEncoding.left(40))));
}

void Inflater::restart(int windowBits)
{
    if (m_stream->open) inflateEnd(&m_stream->z);
    m_stream->z = z_stream{};
    m_stream->open = inflateInit2(&m_stream->z, windowBits) == Z_OK;
    if (!m_stream->open) throw std::bad_alloc();
}

void Inflater::feed(QByteArray compressed)
{
    if (m_ignoreRest) return;
    m_undecided = false;
    // The start of the body is kept until it inflates, so that it can be read again
    // without the zlib wrapper.
    const bool mayReadAgain = m_mayReadRaw && m_input.size() < retryWithin;
    if (m_used == m_input.size() && !mayReadAgain) {
        m_input = std::move(compressed);
        m_used = 0;
    } else {
        if (!mayReadAgain) {
            m_input.remove(0, m_used);
            m_used = 0;
        }
        m_input.append(compressed);
    }
}

bool Inflater::pending() const
{
    return (m_used < m_input.size() && !m_undecided) || m_moreOutput;
}

QByteArray Inflater::take(qsizetype most)
{
    QByteArray out;
    if (!pending() || most <= 0) return out;
    out.resize(most);
    z_stream& z = m_stream->z;
    qsizetype made = 0;
    while (made < most && pending()) {
        if (m_complete && m_used < m_input.size()) {
            // Another gzip member may follow; anything else after the end is not the body.
            const qsizetype left = m_input.size() - m_used;
            const auto byte = [&](qsizetype at) { return uchar(m_input[m_used + at]); };
            if (left == 1 && byte(0) == 0x1f) {
                m_undecided = true; // until the next byte comes
                break;
            }
            if (byte(0) != 0x1f || byte(1) != 0x8b) {
                m_ignoreRest = true;
                m_used = m_input.size();
                break;
            }
            restart(detectWrapper);
            m_complete = false;
        }
        const qsizetype input = std::min<qsizetype>(m_input.size() - m_used, 1 << 30);
        z.next_in = reinterpret_cast<Bytef*>(m_input.data() + m_used);
        z.avail_in = uInt(input);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + made);
        z.avail_out = uInt(std::min<qsizetype>(most - made, 1 << 30));
        const uInt room = z.avail_out;
        const int result = inflate(&z, Z_NO_FLUSH);
        m_used += input - qsizetype(z.avail_in);
        made += qsizetype(room - z.avail_out);
        if (made > 0) m_mayReadRaw = false;
        // A full slice may leave output behind with all input used (a long match, say).
        m_moreOutput = z.avail_out == 0 && result == Z_OK;
        if (result == Z_STREAM_END) {
            // Only the first stream may be read again: a damaged later member must not
            // send the body back to its start, which would end the same way forever.
            m_complete = true;
            m_mayReadRaw = false;
        } else if (result == Z_DATA_ERROR && m_mayReadRaw && m_input.size() < retryWithin) {
            // Some servers send deflate without the zlib wrapper; read it again as such.
            m_used = 0;
            m_moreOutput = false;
            m_mayReadRaw = false;
            restart(noWrapper);
        } else if (result == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (result == Z_BUF_ERROR) {
            break; // nothing more can be made of what is here
        } else if (result != Z_OK) {
            unreadable(QString::fromLatin1(z.msg ? z.msg : "damaged"));
        }
    }
    out.truncate(made);
    return out;
}
