#include "LumbraCore/Logging.h"

// QtFatalMsg as the threshold: nothing is printed until a rule enables the category.
Q_LOGGING_CATEGORY(lcNetwork, "lumbra.network", QtFatalMsg)
Q_LOGGING_CATEGORY(lcKeyring, "lumbra.keyring", QtFatalMsg)
Q_LOGGING_CATEGORY(lcVault, "lumbra.vault", QtFatalMsg)
Q_LOGGING_CATEGORY(lcUpdates, "lumbra.updates", QtFatalMsg)
Q_LOGGING_CATEGORY(lcLanguage, "lumbra.language", QtFatalMsg)
