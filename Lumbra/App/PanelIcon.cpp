#include "App/PanelIcon.h"

#include "Reader/Reader.h"
#include "Reader/Settings.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <climits>

namespace {

// The window's icon with the count on a badge in its lower right corner.
QIcon withBadge(const QIcon& icon, qint64 count)
{
    if (count <= 0) return icon;
    const QString text = count > 999 ? QStringLiteral("999+") : QString::number(count);
    QIcon badged;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = icon.pixmap(side, side);
        if (pixmap.isNull()) {
            pixmap = QPixmap(side, side);
            pixmap.fill(Qt::transparent);
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(7, side * 9 / 20));
        painter.setFont(font);
        const int width = std::min(side, painter.fontMetrics().horizontalAdvance(text) + side / 4);
        const int height = font.pixelSize() + side / 8;
        const QRect badge(side - width, side - height, width, height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xC0, 0x1C, 0x28)); // white on it reads at 6.7:1
        painter.drawRoundedRect(badge, height / 2.0, height / 2.0);
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, text);
        painter.end();
        badged.addPixmap(pixmap);
    }
    return badged;
}

} // namespace

PanelIcon::PanelIcon(Reader& reader, QWidget& window, QAction& quit, QObject* parent)
    : QObject(parent), m_reader(reader), m_window(window), m_menu(new QMenu(&window))
{
    m_menu->addAction(tr("Show Lumbra"), this, &PanelIcon::showWindow);
    m_menu->addAction(tr("Refresh"), this, [this] { m_reader.session().refresh(); });
    m_menu->addSeparator();
    m_menu->addAction(&quit);
    m_icon.setContextMenu(m_menu);
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    showWindow();
            });
    connect(&m_reader.subscriptions(), &Subscriptions::feedsChanged, this, &PanelIcon::showCount);
    connect(&m_reader.settings(), &Settings::keepInPanelChanged, this,
            &PanelIcon::followKeepSetting);
    showCount();
    // Without a panel there is nothing to show, and nothing to say about it.
    if (QSystemTrayIcon::isSystemTrayAvailable()) m_icon.show();
    followKeepSetting();
}

PanelIcon::~PanelIcon()
{
    QApplication::setQuitOnLastWindowClosed(true);
}

bool PanelIcon::keepsLumbra() const
{
    return shown() && m_reader.settings().keepInPanel().value_or(true);
}

void PanelIcon::followKeepSetting()
{
    QApplication::setQuitOnLastWindowClosed(!keepsLumbra());
}

void PanelIcon::showCount()
{
    const qint64 count = m_reader.subscriptions().count(Source::allUnread());
    if (count == m_count) return;
    m_count = count;
    m_icon.setIcon(withBadge(QApplication::windowIcon(), count));
    m_icon.setToolTip(count ? tr("Lumbra: %n unread", "", int(std::min<qint64>(count, INT_MAX)))
                            : tr("Lumbra: nothing unread"));
}

void PanelIcon::showOn(const Source& source)
{
    m_reader.timeline().selectSource(source);
    showWindow();
}

void PanelIcon::showWindow()
{
    m_window.show();
    if (m_window.isMinimized()) m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
}
