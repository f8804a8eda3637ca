#pragma once

#include <QWidget>

class CertificateView;
class DetailsView;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class Reader;

// Shown while there is no account: the server field and the browser login's progress.
class LoginView final : public QWidget {
    Q_OBJECT

public:
    explicit LoginView(Reader& reader, QWidget* parent = nullptr);

    QLineEdit* serverField() const { return m_server; }
    QPushButton* logInButton() const { return m_logIn; }
    QPushButton* retryButton() const { return m_retry; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* failureText() const { return m_failure; }
    DetailsView* details() const { return m_details; }
    CertificateView* certificate() const { return m_certificate; }
    QStackedWidget* states() const { return m_states; }

private:
    void buildLayout();
    // Idle: the default button. Waiting: progress and Cancel. Failed: the text and Log In.
    void buildStates();
    void follow();
    void logIn();
    void showState();

    Reader& m_reader;
    QLineEdit* m_server;
    QStackedWidget* m_states;
    QPushButton* m_logIn;
    QPushButton* m_cancel;
    QLabel* m_failure;
    DetailsView* m_details;
    CertificateView* m_certificate;
    QPushButton* m_retry;
};
