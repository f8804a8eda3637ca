#include "Views/ItemRowDelegate.h"

#include "Views/Style.h"
#include "Views/TimelineModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>
#include <cmath>

namespace {

constexpr int margin = 4;
constexpr int dotColumn = 15; // 7 px dot and 8 px gap
constexpr int titleLines = 3;
constexpr int excerptLines = 2;
// Rows share one height: a title's third line takes the excerpt's second.
constexpr int textLines = titleLines + 1;

// The height of a line in `font` for text with the characters of `sample` (besides Latin
// ones): CJK and emoji glyphs come from other, often taller fonts, which the font's own
// metrics do not know about.
int lineHeight(const QFont& font, const QString& sample)
{
    static QHash<QString, int> known;
    const QString key = font.key() + u'|' + sample;
    const auto found = known.constFind(key);
    if (found != known.cend()) return *found;
    QTextLayout layout(QStringLiteral("Ag_") + sample, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1'000'000);
    layout.endLayout();
    const int height = std::max(QFontMetrics(font).height(), int(std::ceil(line.height())));
    if (known.size() > 64) known.clear(); // samples change with the lists
    known.insert(key, height);
    return height;
}

QFont captionFont(const QFont& base)
{
    return Style::font(Style::FontRole::caption, base);
}

// Arabic or Hebrew text starts at the right and keeps its punctuation where it belongs,
// whatever the window's direction.
int directionFlags(const QString& text)
{
    return text.isRightToLeft() ? Qt::AlignRight | Qt::AlignAbsolute | Qt::TextForceRightToLeft
                                : Qt::AlignLeft | Qt::AlignAbsolute | Qt::TextForceLeftToRight;
}

// Marks the search's words behind a line of `shown` text that starts at `lineStart` of the
// whole text, where drawText puts them: laid out as it lays them out, right-to-left text at
// the right.
void drawHighlights(QPainter* painter, const QFont& font, const QString& shown, qsizetype lineStart,
                    const QVariantList& ranges, const QRect& lineArea)
{
    if (ranges.isEmpty()) return;
    QTextLayout layout(shown, font);
    QTextOption option(shown.isRightToLeft() ? Qt::AlignRight : Qt::AlignLeft);
    option.setTextDirection(shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) return;
    line.setLineWidth(lineArea.width());
    layout.endLayout();
    painter->save();
    // A tint of the text's own colour: visible on a selected row and an unselected one.
    QColor mark = painter->pen().color();
    mark.setAlphaF(0.18);
    painter->setPen(Qt::NoPen);
    painter->setBrush(mark);
    for (const QVariant& range : ranges) {
        const QPoint r = range.toPoint();
        const qsizetype from = std::max<qsizetype>(r.x() - lineStart, 0);
        const qsizetype to = std::min<qsizetype>(r.x() + r.y() - lineStart, shown.size());
        if (to <= from) continue;
        const qreal start = line.cursorToX(int(from));
        const qreal end = line.cursorToX(int(to));
        const QRectF box(lineArea.left() + std::min(start, end), lineArea.top(),
                         std::abs(end - start), lineArea.height());
        painter->drawRoundedRect(box.intersected(lineArea).adjusted(-1, 0, 1, 0), 3, 3);
    }
    painter->restore();
}

// Whether `text` wrapped at `width` takes more than `lines` lines; only those are laid out.
bool longerThan(const QFont& font, const QString& text, int width, int lines)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    int laid = 0;
    for (QTextLine line = layout.createLine(); line.isValid() && laid <= lines;
         line = layout.createLine()) {
        line.setLineWidth(width);
        ++laid;
    }
    layout.endLayout();
    return laid > lines;
}

// Where the row's text goes, inside its margins and beside the unread dot.
QRect textArea(const QRect& row)
{
    return row.adjusted(margin + dotColumn, margin, -margin * 2, -margin);
}

// The width the feed's title has on the row's first line, beside the icon, the star and
// the date.
int feedTitleSpace(const QModelIndex& index, const QRect& area, const QFont& caption)
{
    const int dateWidth =
        QFontMetrics(caption).horizontalAdvance(index.data(TimelineModel::DateRole).toString());
    const int starWidth = index.data(TimelineModel::StarredRole).toBool() ? 19 : 0;
    return area.width() - 17 - 1 - dateWidth - 5 - starWidth;
}

// Draws `text` wrapped into at most `lines` lines, the last one elided; `highlights` are
// (start, length) points of the text to mark. Returns the lines drawn.
int drawLines(QPainter* painter, const QFont& font, const QString& text, QRect area, int lines,
              int height, const QVariantList& highlights = {})
{
    const QFontMetrics metrics(font);
    painter->setFont(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    int y = area.top();
    int drawn = 0;
    for (int n = 0; n < lines; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(area.width());
        const QString rest = text.mid(line.textStart());
        const bool last = n == lines - 1 && line.textStart() + line.textLength() < text.size();
        const QString shown = last ? metrics.elidedText(rest, Qt::ElideRight, area.width())
                                   : text.mid(line.textStart(), line.textLength());
        const QRect lineArea(area.left(), y, area.width(), height);
        drawHighlights(painter, font, shown, line.textStart(), highlights, lineArea);
        painter->drawText(lineArea, directionFlags(text) | Qt::AlignVCenter, shown);
        y += height;
        ++drawn;
    }
    layout.endLayout();
    return drawn;
}

} // namespace

QSize ItemRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString sample = index.data(TimelineModel::LineSampleRole).toString();
    const int title = lineHeight(Style::font(Style::FontRole::strong, option.font), sample);
    const int caption = lineHeight(captionFont(option.font), sample);
    // The tallest row: three title lines and one excerpt line, or two and two.
    const int text = std::max(titleLines * title + (textLines - titleLines) * caption,
                              (textLines - excerptLines) * title + excerptLines * caption);
    return {200, margin + caption + 3 + text + 3 + margin};
}

void ItemRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    background.text.clear();
    background.icon = QIcon();
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &background, painter);

    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    const QColor primary = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = primary;
    secondary.setAlphaF(0.65);
    const bool unread = index.data(TimelineModel::UnreadRole).toBool();
    // Laid out left to right, then mirrored in a right-to-left window.
    const bool mirrored = option.direction == Qt::RightToLeft;
    const auto visual = [&option](const QRect& rect) {
        return QStyle::visualRect(option.direction, option.rect, rect);
    };
    const QRect area = textArea(option.rect);

    if (unread) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        // A mark that must be seen: at least 3:1 on the row, in a dark theme too.
        const QColor highlight = palette.color(QPalette::Highlight);
        painter->setBrush(selected
                              ? Style::readableOn(highlight.lighter(160), highlight, 3.0)
                              : Style::readableOn(highlight, palette.color(QPalette::Base), 3.0));
        painter->drawEllipse(visual(QRect(option.rect.left() + margin + 2, area.top() + 5, 7, 7)));
    }

    const QFont caption = captionFont(option.font);
    const QString sample = index.data(TimelineModel::LineSampleRole).toString();
    const int captionHeight = lineHeight(caption, sample);
    const QIcon icon = index.data(TimelineModel::FeedIconRole).value<QIcon>();
    icon.paint(painter, visual(QRect(area.left(), area.top() + (captionHeight - 12) / 2, 12, 12)));
    painter->setFont(caption);
    painter->setPen(secondary);
    const QString date = index.data(TimelineModel::DateRole).toString();
    const int dateWidth = QFontMetrics(caption).horizontalAdvance(date);
    QRect header(area.left() + 17, area.top(), area.width() - 17, captionHeight);
    // At the row's far end; read in its own direction ("2 hours ago", not "hours ago 2").
    painter->drawText(
        visual(header),
        (mirrored ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignAbsolute | Qt::AlignVCenter |
            (date.isRightToLeft() ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight),
        date);
    if (index.data(TimelineModel::StarredRole).toBool()) {
        const int right = header.right() - dateWidth - 5;
        painter->setPen(Style::starColor());
        painter->drawText(visual(QRect(right - 14, header.top(), 14, captionHeight)),
                          Qt::AlignCenter, QStringLiteral("\u2605"));
        painter->setPen(secondary);
    }
    const int feedSpace = feedTitleSpace(index, area, caption);
    const QString feedTitle = QFontMetrics(caption).elidedText(
        index.data(TimelineModel::FeedTitleRole).toString(), Qt::ElideRight, feedSpace);
    painter->drawText(visual(QRect(header.left(), header.top(), feedSpace, captionHeight)),
                      directionFlags(feedTitle) | Qt::AlignVCenter, feedTitle);

    QFont titleFont = option.font;
    titleFont.setBold(unread);
    painter->setPen(unread ? primary : secondary);
    const int titleTop = area.top() + captionHeight + 3;
    const int titleHeight = lineHeight(titleFont, sample);
    const int titleDrawn =
        drawLines(painter, titleFont, index.data(Qt::DisplayRole).toString(),
                  visual(QRect(area.left(), titleTop, area.width(), 0)), titleLines, titleHeight,
                  index.data(TimelineModel::TitleHighlightsRole).toList());
    painter->setPen(secondary);
    // The excerpt follows the title's last line; a three-line title leaves it one line.
    drawLines(painter, caption, index.data(TimelineModel::ExcerptRole).toString(),
              visual(QRect(area.left(), titleTop + titleDrawn * titleHeight + 3, area.width(), 0)),
              std::min(excerptLines, textLines - titleDrawn), captionHeight,
              index.data(TimelineModel::ExcerptHighlightsRole).toList());
    if (option.state & QStyle::State_HasFocus) {
        // The keyboard's place, distinct from a selection seen while the list is not focused.
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(selected ? primary : palette.color(QPalette::Highlight), 2));
        painter->drawRoundedRect(QRectF(option.rect).adjusted(2, 2, -2, -2), 4, 4);
    }
    painter->restore();
}

bool ItemRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // A title or feed title cut short is shown whole; a row that shows all says nothing.
    const QRect area = textArea(option.rect);
    QFont titleFont = option.font;
    titleFont.setBold(index.data(TimelineModel::UnreadRole).toBool());
    const QString title = index.data(Qt::DisplayRole).toString();
    const QString feedTitle = index.data(TimelineModel::FeedTitleRole).toString();
    const QFont caption = captionFont(option.font);
    const bool titleCut = longerThan(titleFont, title, area.width(), titleLines);
    const bool feedCut =
        QFontMetrics(caption).horizontalAdvance(feedTitle) > feedTitleSpace(index, area, caption);
    if (!titleCut && !feedCut) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), feedCut ? title + u'\n' + feedTitle : title,
                       view->viewport(), option.rect);
    return true;
}
