#pragma once

// Helpers shared by the fuzz targets: split the fuzzer's bytes into fields, and fail
// loudly when a property does not hold.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Fields separated by a 0 byte, so the fuzzer can grow each one independently.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), qsizetype(size))
    {
    }
    QByteArray nextBytes()
    {
        const qsizetype end = m_bytes.indexOf('\0', m_at);
        const qsizetype stop = end < 0 ? m_bytes.size() : end;
        QByteArray field = m_bytes.mid(m_at, stop - m_at);
        m_at = std::min(stop + 1, m_bytes.size());
        return field;
    }
    QString next() { return QString::fromUtf8(nextBytes()); }
    const QByteArray& all() const { return m_bytes; }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};
