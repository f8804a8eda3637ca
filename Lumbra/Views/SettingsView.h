#pragma once

#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QStackedWidget;
class Reader;

// The Settings window's content: the account, the vault and the version.
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(Reader& reader, QWidget* parent = nullptr);

    QLabel* loginName() const { return m_loginName; }
    QLabel* server() const { return m_server; }
    QLabel* vaultPath() const { return m_vault; }
    QPushButton* logInButton() const { return m_logIn; }
    QPushButton* logOutButton() const { return m_logOut; }
    QPushButton* chooseVaultButton() const { return m_chooseVault; }
    QStackedWidget* account() const { return m_account; }

Q_SIGNALS:
    void checkForUpdatesRequested();
    // Logged out, the user asks to log in: the main window's login view does that.
    void logInRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showAccount();
    void showVault();

    Reader& m_reader;
    QStackedWidget* m_account;
    QLabel* m_loginName;
    QLabel* m_server;
    QPushButton* m_logIn;
    QPushButton* m_logOut;
    QLabel* m_vault;
    QPushButton* m_chooseVault;
    QString m_vaultCaption; // said with the vault
};
