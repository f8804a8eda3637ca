#pragma once

#include "Reader/Notice.h"

#include <QCoreApplication>
#include <QString>

// The sentences for what the state objects report: every failure and notice the user
// reads is worded here.
class Wording {
    Q_DECLARE_TR_FUNCTIONS(Wording)

public:
    static QString failure(const Failure& failure);
    static QString notice(const Notice& notice);
    // The sources column's text for a failed refresh, and its title.
    static QString refreshFailure(const RefreshFailure& failure);
    static QString refreshTitle(const RefreshFailure& failure);
};
