#pragma once

// Internal: an items reply ({"items":[…]}) decoded as its bytes arrive. Complete items are
// decoded a batch at a time, so the bytes held are one batch and the item still arriving,
// never the whole reply. A reply of another shape is kept whole and decoded at the end, so
// every reply gives the items Json::decode<ItemsResponse> gives it, and fails where that
// fails (naming the list rather than an item when the reply itself is malformed).

#include "LumbraCore/Records.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

class ItemStream {
public:
    // Items are decoded once about `batchBytes` of complete ones have arrived.
    explicit ItemStream(qsizetype batchBytes = qsizetype(1) << 20);

    // Takes the next bytes of the reply; throws DecodingError as soon as they cannot be
    // part of a valid reply, after which the stream is done.
    void feed(const char* data, qsizetype size);
    // The items, once the whole reply was fed; throws DecodingError.
    ItemsResponse finish();

private:
    enum class Phase { envelope, list, tail, whole };

    void matchEnvelope();
    void scan();
    void closeList(qsizetype close);
    void decodeBatch(qsizetype end);
    [[noreturn]] void fail(const QString& problem) const;

    qsizetype m_batchBytes;
    Phase m_phase = Phase::envelope;
    // In the list: '[' and then the bytes after the last decoded batch. Otherwise all bytes
    // (envelope, whole) or those after the list (tail).
    QByteArray m_buffer;
    qsizetype m_scanned = 0;    // bytes of m_buffer scanned, in whole blocks of 64
    uint64_t m_escapeCarry = 0; // 1 when the next block starts with an escaped character
    uint64_t m_stringCarry = 0; // all ones when the next block starts inside a string
    std::vector<char> m_open;   // brackets open inside the current element
    qsizetype m_cut = 0;        // the comma after the last complete element; 0 when none
    int m_batches = 0;
    QList<Item> m_items;
};
