#include "App/Translations.h"

#include "LumbraCore/Logging.h"

#include <QGuiApplication>
#include <QLibraryInfo>

namespace {

// Lumbra's texts, padded by 40% and bracketed.
class PseudoTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        Q_UNUSED(context);
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        // Padded in short words, so that wrapped texts can still wrap.
        const QString text = QString::fromUtf8(sourceText);
        QString padding;
        while (padding.size() < text.size() * 2 / 5)
            padding += QStringLiteral(" ~~~~");
        return u'[' + text + padding.left(text.size() * 2 / 5) + u']';
    }
    bool isEmpty() const override { return false; }
};

} // namespace

Translations::Translations(const QStringList& languages)
    : m_locale(QLocale::system()),
      m_previousLocale(QLocale()),
      m_previousDirection(QGuiApplication::layoutDirection())
{
    for (const QString& language : languages) {
        const QLocale wanted(language);
        if (wanted.language() == QLocale::English) {
            m_locale = wanted;
            break;
        }
        auto own = std::make_unique<QTranslator>();
        if (!own->load(wanted, QStringLiteral("lumbra"), QStringLiteral("_"),
                       QStringLiteral(":/i18n")))
            continue;
        install(std::move(own));
        // Qt's own words: its dialogs' buttons, the text fields' and the page's context menus.
        for (const QString& module : {QStringLiteral("qtbase"), QStringLiteral("qtwebengine")}) {
            auto qt = std::make_unique<QTranslator>();
            if (qt->load(wanted, module, QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
                install(std::move(qt));
        }
        m_locale = wanted;
        break;
    }
    // English plural forms: "1 unread", "2 articles".
    auto english = std::make_unique<QTranslator>();
    if (m_installed.empty() &&
        english->load(QStringLiteral("lumbra_en"), QStringLiteral(":/i18n")))
        install(std::move(english));
    QLocale::setDefault(m_locale);
    qCInfo(lcLanguage).noquote() << "speaking" << m_locale.name() << "of"
                                 << languages.join(QStringLiteral(", "));
    const QLocale first = languages.isEmpty() ? m_locale : QLocale(languages.first());
    QGuiApplication::setLayoutDirection(first.textDirection());
}

std::unique_ptr<Translations> Translations::pseudo(Qt::LayoutDirection direction)
{
    std::unique_ptr<Translations> pseudo(new Translations);
    pseudo->m_previousLocale = QLocale();
    pseudo->m_previousDirection = QGuiApplication::layoutDirection();
    pseudo->install(std::make_unique<PseudoTranslator>());
    QGuiApplication::setLayoutDirection(direction);
    return pseudo;
}

Translations::~Translations()
{
    for (const auto& translator : m_installed)
        QCoreApplication::removeTranslator(translator.get());
    QLocale::setDefault(m_previousLocale);
    QGuiApplication::setLayoutDirection(m_previousDirection);
}

void Translations::install(std::unique_ptr<QTranslator> translator)
{
    QCoreApplication::installTranslator(translator.get());
    m_installed.push_back(std::move(translator));
}
