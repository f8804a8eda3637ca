#pragma once

#include <QLocale>
#include <QStringList>
#include <QTranslator>
#include <memory>

// The language Lumbra speaks: its own translation and Qt's for the first of the user's
// languages it has one for, English otherwise. Numbers and dates follow that language, and
// the layout the direction of the user's first language. Undone when destroyed.
class Translations {
public:
    // `languages` as QLocale::uiLanguages() lists them, most wanted first.
    explicit Translations(const QStringList& languages);
    // Every text padded by 40% and bracketed, to find texts that are cut off or never
    // translated; the layout as `direction`.
    static std::unique_ptr<Translations> pseudo(Qt::LayoutDirection direction = Qt::LeftToRight);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    QLocale locale() const { return m_locale; }

private:
    Translations() = default;
    void install(std::unique_ptr<QTranslator> translator);

    std::vector<std::unique_ptr<QTranslator>> m_installed;
    QLocale m_locale;
    QLocale m_previousLocale;
    Qt::LayoutDirection m_previousDirection = Qt::LeftToRight;
};
