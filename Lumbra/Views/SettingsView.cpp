#include "Views/SettingsView.h"

#include "Reader/Reader.h"
#include "Views/ArticleView.h"
#include "Views/Style.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

SettingsView::SettingsView(Reader& reader, QWidget* parent)
    : QWidget(parent), m_reader(reader), m_account(new QStackedWidget), m_loginName(new QLabel),
      m_server(new QLabel), m_logIn(new QPushButton(tr("Log In\u2026"))),
      m_logOut(new QPushButton(tr("Log Out"))), m_vault(new QLabel),
      m_chooseVault(new QPushButton(tr("Choose Vault\u2026")))
{
    setFixedWidth(460);
    auto* notLoggedIn = new QWidget;
    auto* notLoggedInLayout = new QHBoxLayout(notLoggedIn);
    auto* notLoggedInText = new QLabel(tr("Not logged in"));
    // What the labels beside a button say is heard with it: a screen reader passes over
    // labels on its way from one button to the next.
    m_logIn->setAccessibleDescription(notLoggedInText->text());
    Style::makeSecondary(notLoggedInText);
    notLoggedInLayout->addWidget(notLoggedInText, 1);
    notLoggedInLayout->addWidget(m_logIn);
    connect(m_logIn, &QPushButton::clicked, this, &SettingsView::logInRequested);
    auto* loggedIn = new QWidget;
    auto* accountForm = new QFormLayout(loggedIn);
    accountForm->addRow(tr("Logged in as"), m_loginName);
    accountForm->addRow(tr("Server"), m_server);
    accountForm->addRow(QString(), m_logOut);
    Style::makeError(m_logOut);
    m_account->addWidget(notLoggedIn);
    m_account->addWidget(loggedIn);
    auto* nextcloud = new QGroupBox(tr("Nextcloud"));
    (new QVBoxLayout(nextcloud))->addWidget(m_account);

    auto* quotes = new QGroupBox(tr("Quotes"));
    auto* quotesForm = new QFormLayout(quotes);
    m_vault->setWordWrap(true);
    m_vault->setTextInteractionFlags(Qt::TextSelectableByMouse);
    quotesForm->addRow(tr("Obsidian vault"), m_vault);
    quotesForm->addRow(QString(), m_chooseVault);
    auto* caption = new QLabel(
        tr("Each article you quote gets a note in the vault's lumbra folder, linked to its "
           "author."));
    caption->setWordWrap(true);
    Style::makeSecondary(caption);
    caption->setFont(Style::font(Style::FontRole::caption, caption->font()));
    quotesForm->addRow(caption);
    m_vaultCaption = caption->text();

    auto* articles = new QGroupBox(tr("Articles"));
    auto* remote = new QCheckBox(tr("Load remote images"));
    Settings& settings = reader.settings();
    remote->setChecked(settings.remoteImages());
    auto* remoteCaption = new QLabel(
        tr("When off, articles load nothing from other sites: no images, fonts or styles, so no "
           "site learns what you read. Each article can still load them with one click."));
    remoteCaption->setWordWrap(true);
    Style::makeSecondary(remoteCaption);
    remoteCaption->setFont(Style::font(Style::FontRole::caption, remoteCaption->font()));
    auto* articlesLayout = new QVBoxLayout(articles);
    articlesLayout->addWidget(remote);
    articlesLayout->addWidget(remoteCaption);
    remote->setAccessibleDescription(remoteCaption->text());
    connect(remote, &QCheckBox::toggled, &settings, &Settings::setRemoteImages);
    connect(&settings, &Settings::remoteImagesChanged, remote,
            [remote, &settings] { remote->setChecked(settings.remoteImages()); });
    auto* asText = new QCheckBox(tr("Show articles as text for screen readers"));
    asText->setChecked(ArticleView::readsAsText(settings));
    asText->setToolTip(tr("Read by line, word and heading (H); select with the keyboard. On "
                          "while a screen reader runs, unless you choose."));
    articlesLayout->addWidget(asText);
    connect(asText, &QCheckBox::toggled, &settings, &Settings::setReadingView);
    connect(&settings, &Settings::readingViewChanged, asText,
            [asText, &settings] { asText->setChecked(ArticleView::readsAsText(settings)); });

    auto* about = new QGroupBox(tr("About"));
    auto* aboutForm = new QFormLayout(about);
    aboutForm->addRow(tr("Version"), new QLabel(QApplication::applicationVersion()));
    //: %1 is a link to the project's site.
    auto* maker =
        new QLabel(tr("Made by the Lumbra developers \u2014 %1")
                       .arg(QStringLiteral("<a href=\"https://lumbra.app\">lumbra.app</a>")));
    maker->setOpenExternalLinks(true);
    aboutForm->addRow(maker);
    auto* check = new QPushButton(tr("Check for Updates\u2026"));
    aboutForm->addRow(QString(), check);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nextcloud);
    layout->addWidget(quotes);
    layout->addWidget(articles);
    layout->addWidget(about);

    connect(m_logOut, &QPushButton::clicked, &m_reader.session(), &Session::logOut);
    connect(m_chooseVault, &QPushButton::clicked, this, [this] {
        if (m_reader.quotes().chooseVault()) showVault();
    });
    connect(check, &QPushButton::clicked, this, &SettingsView::checkForUpdatesRequested);
    connect(&reader.session(), &Session::accountChanged, this, &SettingsView::showAccount);
    showAccount();
    showVault();
}

void SettingsView::showAccount()
{
    const std::optional<Account>& account = m_reader.session().account();
    m_account->setCurrentIndex(account ? 1 : 0);
    m_loginName->setText(account ? account->loginName : QString());
    m_server->setText(account ? account->server : QString());
    m_logOut->setAccessibleDescription(
        account ? tr("Logged in as %1 on %2").arg(account->loginName, account->server) : QString());
}

void SettingsView::showVault()
{
    m_vault->setText(m_reader.quotes().storedVault().value_or(tr("Not chosen")));
    m_chooseVault->setAccessibleDescription(tr("Obsidian vault: %1.").arg(m_vault->text()) + u' ' +
                                            m_vaultCaption);
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    showVault(); // the first quote may have asked for it since the last time
}
