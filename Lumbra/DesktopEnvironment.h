#pragma once

#include "Environment.h"

#include <QPointer>
#include <QWidget>

// The desktop's own browser, window activation and clock.
class DesktopBrowser final : public Browser {
public:
    void open(const QUrl& url) override;
};

class MainWindowActivator final : public WindowActivator {
public:
    void setWindow(QWidget* window) { m_window = window; }
    void activate() override;

private:
    QPointer<QWidget> m_window;
};

class SystemClock final : public Clock {
public:
    qint64 now() const override;
};
