#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;
class Reader;
class Source;

// Lumbra's icon in the desktop's panel, where a panel hosts one (a StatusNotifierItem): the
// unread count on it and in its tooltip, and a menu to show Lumbra, refresh or quit. While
// it shows and the user keeps Lumbra in the panel, closing the window leaves Lumbra running.
class PanelIcon final : public QObject {
    Q_OBJECT

public:
    // `quit` is the main menu's, keys and all.
    PanelIcon(Reader& reader, QWidget& window, QAction& quit, QObject* parent = nullptr);
    ~PanelIcon() override;
    Q_DISABLE_COPY_MOVE(PanelIcon)

    // Whether the desktop has a panel that shows the icon; nothing is shown otherwise.
    bool shown() const { return m_icon.isVisible(); }
    // Whether closing the window keeps Lumbra running.
    bool keepsLumbra() const;
    const QSystemTrayIcon& icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }
    // Shows the window over the others; on `source`, when given.
    void showWindow();
    void showOn(const Source& source);

private:
    void follow();
    void showCount();
    void followKeepSetting();

    Reader& m_reader;
    QWidget& m_window;
    QSystemTrayIcon m_icon;
    QMenu* m_menu;
    qint64 m_count = -1; // as shown
};
