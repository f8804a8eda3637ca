#pragma once

#include <QString>

// Progress of the browser login.
class LoginState {
public:
    enum class Kind { failed, idle, waiting };

    static LoginState idle() { return LoginState(Kind::idle, {}); }
    static LoginState waiting() { return LoginState(Kind::waiting, {}); }
    static LoginState failed(QString text) { return LoginState(Kind::failed, std::move(text)); }

    Kind kind() const { return m_kind; }
    // The text to show for `failed`.
    const QString& text() const { return m_text; }

    friend bool operator==(const LoginState&, const LoginState&) = default;

private:
    LoginState(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}
    Kind m_kind;
    QString m_text;
};
