#include "Views/Style.h"

#include <QApplication>
#include <QPalette>
#include <QTextLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

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

void makeSecondary(QLabel* label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
}

void makeError(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, errorColor());
    palette.setColor(QPalette::ButtonText, errorColor());
    widget->setPalette(palette);
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
    (void)QtConcurrent::run([base] {
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
