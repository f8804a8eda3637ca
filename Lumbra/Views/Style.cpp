#include "Views/Style.h"

#include "LumbraCore/Worker.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QPalette>
#include <QTextLayout>

#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

// Widens a dialog, as it first shows, to what its title needs beside a title bar's icon
// and buttons. Into its layout: message and input boxes size themselves from it, whatever
// their minimum width says, and make it only as they show.
class TitleRoom final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show) return false;
        auto* dialog = static_cast<QWidget*>(watched);
        constexpr int titleBarRoom = 180;
        QFont bold = dialog->font();
        bold.setBold(true);
        const int wanted =
            QFontMetrics(bold).horizontalAdvance(dialog->windowTitle()) + titleBarRoom;
        auto* room = new QSpacerItem(wanted, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            grid->addItem(room, grid->rowCount(), 0, 1, grid->columnCount());
        } else if (dialog->layout()) {
            dialog->layout()->addItem(room);
        } else {
            delete room;
            dialog->setMinimumWidth(std::max(dialog->minimumWidth(), wanted));
        }
        dialog->removeEventFilter(this);
        deleteLater();
        return false;
    }
};

} // namespace

namespace Style {

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor errorColor()
{
    return QColor(0xC0, 0x39, 0x2B);
}

QColor starColor()
{
    return QColor(0xE0, 0xA8, 0x00);
}

QFont font(FontRole role, const QFont& base)
{
    QFont font = base;
    const auto scaled = [&](qreal factor, bool bold) {
        if (font.pointSizeF() > 0) font.setPointSizeF(base.pointSizeF() * factor);
        font.setBold(bold);
        return font;
    };
    switch (role) {
    case FontRole::appName:
        return scaled(2.2, true);
    case FontRole::heading:
        return scaled(1.2, true);
    case FontRole::emptyTitle:
        return scaled(1.3, true);
    case FontRole::strong:
        return scaled(1.0, true);
    case FontRole::section:
        return scaled(0.9, true);
    case FontRole::caption:
        return scaled(0.85, false);
    }
    return font;
}

void keepTitleWhole(QWidget* dialog)
{
    dialog->installEventFilter(new TitleRoom(dialog));
}

QString menuText(QString text)
{
    return text.replace(u'&', QStringLiteral("&&"));
}

void makeSecondary(QLabel* label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
}

void makeError(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText,
                     readableOn(errorColor(), palette.color(QPalette::Window), 4.5));
    palette.setColor(QPalette::ButtonText,
                     readableOn(errorColor(), palette.color(QPalette::Button), 4.5));
    widget->setPalette(palette);
}

namespace {

double luminance(const QColor& colour)
{
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

} // namespace

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(QColor colour, const QColor& background, double ratio)
{
    if (contrast(colour, background) >= ratio) return colour;
    // Away from the background's lightness: lighter on dark, darker on light.
    const bool lighten = luminance(background) < 0.18;
    QColor hsl = colour.toHsl();
    for (int step = 0; step < 100 && contrast(hsl, background) < ratio; ++step) {
        const int lightness = hsl.lightness() + (lighten ? 4 : -4);
        hsl.setHsl(hsl.hslHue(), hsl.hslSaturation(), std::clamp(lightness, 0, 255), hsl.alpha());
        if (lightness <= 0 || lightness >= 255) break;
    }
    return hsl.toRgb();
}

} // namespace Style

EmptyState::EmptyState(const QString& iconName, const QString& title, QWidget* parent)
    : QWidget(parent), m_title(new QLabel(title, this)), m_text(new QLabel(this))
{
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon::fromTheme(iconName).pixmap(40));
    icon->setAlignment(Qt::AlignCenter);
    m_title->setFont(Style::font(Style::FontRole::emptyTitle, font()));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    Style::makeSecondary(m_title);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::makeSecondary(m_text);
    m_text->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(icon);
    layout->addWidget(m_title);
    layout->addWidget(m_text);
    layout->addStretch();
}

void EmptyState::setTitle(const QString& title)
{
    m_title->setText(title);
}

void EmptyState::setText(const QString& text)
{
    m_text->setText(text);
    m_text->setVisible(!text.isEmpty());
}

QString EmptyState::title() const
{
    return m_title->text();
}

QString EmptyState::text() const
{
    return m_text->text();
}

void Style::loadFontsInBackground()
{
    const QFont base = QApplication::font();
    inBackground([base] {
        // Latin, Greek, Cyrillic, Arabic, Hebrew, Devanagari, Thai, Chinese, Japanese,
        // Korean and emoji: laying them out finds and opens their fallback fonts.
        const QString scripts = QStringLiteral(u"Ag Ωλ Жя عر אב कि ไท 中文 かな 한글 😀🎉");
        for (const QFont& font : {base, Style::font(FontRole::strong, base)}) {
            QTextLayout layout(scripts, font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
        }
    });
}
