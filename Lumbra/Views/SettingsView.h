#pragma once

#include <QWidget>
#include <memory>

class QLabel;
class QPushButton;
class QStackedWidget;
class Reader;
namespace Ui {
class SettingsView;
}

// The Settings window's content: the account, the vault, the articles' options and the
// version.
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(Reader& reader, QWidget* parent = nullptr);
    ~SettingsView() override;

    QLabel* loginName() const;
    QLabel* server() const;
    QLabel* vaultPath() const;
    QPushButton* logInButton() const;
    QPushButton* logOutButton() const;
    QPushButton* chooseVaultButton() const;
    QStackedWidget* account() const;
    // This view in a scroll area as tall as the screen allows it: on a small screen it
    // scrolls rather than squeezing its texts.
    QWidget* scrollable();

Q_SIGNALS:
    void checkForUpdatesRequested();
    // Logged out, the user asks to log in: the main window's login view does that.
    void logInRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void style();
    void follow();
    void showAccount();
    void showVault();
    void followBackground();
    static bool panelShown();

    Reader& m_reader;
    std::unique_ptr<Ui::SettingsView> m_ui;
};
