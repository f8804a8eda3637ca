#pragma once

#include "Reader/Notice.h"

#include <optional>

// Progress of the browser login.
class LoginState {
public:
    enum class Kind { failed, idle, waiting };

    static LoginState idle() { return LoginState(Kind::idle, {}); }
    static LoginState waiting() { return LoginState(Kind::waiting, {}); }
    static LoginState failed(LoginFailure why) { return LoginState(Kind::failed, std::move(why)); }

    Kind kind() const { return m_kind; }
    // Why it failed, for `failed`.
    const std::optional<LoginFailure>& failure() const { return m_failure; }

    friend bool operator==(const LoginState&, const LoginState&) = default;

private:
    LoginState(Kind kind, std::optional<LoginFailure> why) : m_kind(kind), m_failure(std::move(why))
    {
    }
    Kind m_kind;
    std::optional<LoginFailure> m_failure;
};
