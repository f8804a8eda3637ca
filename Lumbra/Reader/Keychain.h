#pragma once

#include "Reader/Environment.h"

#include <QString>

// The account in the system keyring (the Secret Service on Linux): one item, key
// "account", holding the account's JSON. Failures are silent: the app password is never
// written anywhere else instead.
class Keychain final : public AccountStore {
public:
    static constexpr const char* defaultService = "app.lumbra.Lumbra";

    explicit Keychain(QString service = QString::fromLatin1(defaultService));

    QCoro::Task<std::optional<Account>> load() override;
    QCoro::Task<> save(Account account) override;
    QCoro::Task<> remove() override;

private:
    QString m_service;
};
