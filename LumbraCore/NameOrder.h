#pragma once

#include <QList>
#include <QString>
#include <algorithm>
#include <memory>

// The order a file browser uses for names: letters compared case-insensitively by the
// user's locale, runs of digits by their value ("Feed 2" before "Feed 10").
class NameOrder {
public:
    NameOrder();
    ~NameOrder();
    NameOrder(const NameOrder&) = delete;
    NameOrder& operator=(const NameOrder&) = delete;

    bool less(const QString& a, const QString& b) const;

    template <typename T, typename Key> void sort(QList<T>& list, Key key) const
    {
        std::stable_sort(list.begin(), list.end(),
                         [&](const T& a, const T& b) { return less(key(a), key(b)); });
    }

private:
    struct Collator;
    std::unique_ptr<Collator> m_collator;
};
