#pragma once

// Internal: an items reply ({"items":[…]}) decoded as its bytes arrive. Complete items are
// decoded a batch at a time, so the bytes held are one batch and the item still arriving,
// never the whole reply. A reply of another shape is kept whole and decoded at the end, so
// every reply gives the items Json::decode<ItemsResponse> gives it, and fails where that
// fails (naming the list rather than an item when the reply itself is malformed).

#include "LumbraCore/Records.h"
#include "LumbraCore/Settled.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <utility>
#include <vector>

class QThreadPool;

class ItemStream {
public:
    // Items are decoded once about `batchBytes` of complete ones have arrived: on the
    // feeding thread, or on `helpers` when given, several batches side by side while the
    // next ones arrive. Either way the items come out in the list's order, and the first
    // failure in the list's order is the one thrown.
    explicit ItemStream(qsizetype batchBytes = qsizetype(1) << 20, QThreadPool* helpers = nullptr);

    // Takes the next bytes of the reply; throws DecodingError as soon as they cannot be
    // part of a valid reply, after which the stream is done.
    void feed(const char* data, qsizetype size);
    // The items, once the whole reply was fed; throws DecodingError.
    ItemsResponse finish();
    // What the stream holds, decoded and not, handed over (to be freed elsewhere).
    std::pair<QList<Item>, QByteArray> release()
    {
        return {std::exchange(m_items, {}), std::exchange(m_buffer, {})};
    }

private:
    enum class Phase { envelope, list, tail, whole };
    // A batch's items, or the failure that ended it.
    struct Decoded {
        Settled<QList<Item>> items;
        qsizetype failedAt = -1; // the element that failed, if an element did
    };

    void take(const char* data, qsizetype size);
    void matchEnvelope();
    void scan();
    void closeList(qsizetype close);
    void decodeBatch(qsizetype end);
    static Decoded decodeItems(const char* json, size_t size, size_t capacity);
    void append(Decoded decoded);
    // Waits until at most `left` batches are still decoding, taking in the items of the
    // others; throws the first of their failures.
    void collect(size_t left);
    [[noreturn]] void fail(const QString& problem) const;

    qsizetype m_batchBytes;
    QThreadPool* m_helpers;
    std::deque<std::future<Decoded>> m_decoding; // oldest first
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
