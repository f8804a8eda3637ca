#pragma once

#include <QLoggingCategory>

// Diagnostics for the field. Every category is silent unless the user switches it on, e.g.
// QT_LOGGING_RULES="lumbra.*=true"; no message ever holds a password or a request header.
Q_DECLARE_LOGGING_CATEGORY(lcNetwork) // lumbra.network: requests, icons, revocation
Q_DECLARE_LOGGING_CATEGORY(lcKeyring) // lumbra.keyring: the Secret Service
Q_DECLARE_LOGGING_CATEGORY(lcVault)   // lumbra.vault: notes written and refused
Q_DECLARE_LOGGING_CATEGORY(lcUpdates) // lumbra.updates: the update check
Q_DECLARE_LOGGING_CATEGORY(lcLanguage) // lumbra.language: the language chosen
