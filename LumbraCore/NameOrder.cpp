#include "LumbraCore/NameOrder.h"

#include "LumbraCore/internal/Unicode.h"

#include <QLocale>
#include <unicode/coll.h>

struct NameOrder::Collator {
    std::unique_ptr<icu::Collator> icu;
};

NameOrder::NameOrder() : m_collator(std::make_unique<Collator>())
{
    // ICU rather than QCollator: Qt drops numeric mode under the C locale.
    const QByteArray name = QLocale::system().name().toLatin1();
    const icu::Locale locale = name == "C" ? icu::Locale::getRoot() : icu::Locale(name.constData());
    UErrorCode status = U_ZERO_ERROR;
    m_collator->icu.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !m_collator->icu) {
        status = U_ZERO_ERROR;
        m_collator->icu.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    m_collator->icu->setStrength(icu::Collator::SECONDARY); // case does not count
    m_collator->icu->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

NameOrder::~NameOrder() = default;

bool NameOrder::less(const QString& a, const QString& b) const
{
    UErrorCode status = U_ZERO_ERROR;
    return m_collator->icu->compare(Unicode::toIcu(a), Unicode::toIcu(b), status) == UCOL_LESS;
}

std::string NameOrder::sortKey(const QString& name) const
{
    const icu::UnicodeString text = Unicode::toIcu(name);
    std::string key(64, '\0');
    int32_t length = m_collator->icu->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                                 int32_t(key.size()));
    if (length > int32_t(key.size())) {
        key.resize(size_t(length));
        length = m_collator->icu->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), length);
    }
    key.resize(size_t(std::max(length, 1) - 1)); // without the terminating zero
    return key;
}
