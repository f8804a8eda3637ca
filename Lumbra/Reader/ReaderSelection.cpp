// Choosing sources and items, and the values the views derive from the state.

#include "Reader/Reader.h"

#include <algorithm>

namespace {

qsizetype indexOf(const QList<Item>& items, const std::optional<qint64>& id)
{
    if (!id) return -1;
    const auto it = std::find_if(items.cbegin(), items.cend(),
                                 [&](const Item& item) { return item.id == *id; });
    return it == items.cend() ? -1 : it - items.cbegin();
}

} // namespace

void Reader::selectSource(std::optional<Source> source)
{
    if (m_source == source) return;
    assign(m_source, std::move(source), &Reader::sourceChanged);
    setItems({});
    m_itemsMark.reset(); // the emptied list needs a full load, even of the source just left
    setSelectedId(std::nullopt);
    loadItems();
}

void Reader::select(std::optional<qint64> id)
{
    const std::optional<qint64> previous = m_selectedId;
    setSelectedId(id);
    if (id && id != previous) markSelectedRead(*id);
}

void Reader::selectAgain()
{
    if (m_selectedId) markSelectedRead(*m_selectedId);
}

void Reader::markSelectedRead(qint64 id)
{
    const qsizetype index = indexOf(m_items, id);
    // Items outside the list (a linked one) are not marked read by selecting them.
    if (index < 0 || !m_items[index].unread) return;
    setRead(m_items[index], true);
}

// Steps walk the listed rows: with a search, the matching ones.
void Reader::moveSelection(int step)
{
    if (shownCount() == 0) return;
    const qsizetype row = rowOfItem(indexOf(m_items, m_selectedId));
    const qsizetype target = row < 0 ? 0 : row + step;
    if (target < 0 || target >= shownCount()) return;
    select(shownItem(target).id);
}

void Reader::selectNext()
{
    moveSelection(+1);
}

void Reader::selectPrevious()
{
    moveSelection(-1);
}

void Reader::selectNextUnread()
{
    const qsizetype start = rowOfItem(indexOf(m_items, m_selectedId)) + 1; // 0 without one
    for (qsizetype row = start; row < shownCount(); ++row) {
        if (shownItem(row).unread) {
            select(shownItem(row).id);
            return;
        }
    }
}

std::optional<Item> Reader::selectedItem() const
{
    if (!m_selectedId) return std::nullopt;
    const qsizetype index = indexOf(m_items, m_selectedId);
    if (index >= 0) return m_items[index];
    if (m_linked && m_linked->id == *m_selectedId) return m_linked;
    return std::nullopt;
}
