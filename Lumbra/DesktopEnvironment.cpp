#include "DesktopEnvironment.h"

#include <QDateTime>
#include <QDesktopServices>

void DesktopBrowser::open(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void MainWindowActivator::activate()
{
    if (!m_window) return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

qint64 SystemClock::now() const
{
    return QDateTime::currentSecsSinceEpoch();
}
