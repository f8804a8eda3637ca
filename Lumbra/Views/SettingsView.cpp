#include "Views/SettingsView.h"

#include "Reader/Reader.h"
#include "Views/ArticleView.h"
#include "Views/Style.h"
#include "ui_SettingsView.h"

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QSystemTrayIcon>
#include <algorithm>

SettingsView::SettingsView(Reader& reader, QWidget* parent)
    : QWidget(parent), m_reader(reader), m_ui(std::make_unique<Ui::SettingsView>())
{
    m_ui->setupUi(this);
    m_ui->version->setText(QApplication::applicationVersion());
    //: %1 is a link to the project's site.
    m_ui->maker->setText(tr("Made by the Lumbra developers \u2014 %1")
                             .arg(QStringLiteral("<a href=\"https://lumbra.app\">lumbra.app</a>")));
    // What the labels beside a button or box say is heard with it: a screen reader passes
    // over labels on its way from one control to the next.
    m_ui->logIn->setAccessibleDescription(m_ui->notLoggedInText->text());
    m_ui->remoteImages->setAccessibleDescription(m_ui->remoteCaption->text());
    style();
    follow();
    showAccount();
    showVault();
}

SettingsView::~SettingsView() = default;

QLabel* SettingsView::loginName() const
{
    return m_ui->loginName;
}

QLabel* SettingsView::server() const
{
    return m_ui->server;
}

QLabel* SettingsView::vaultPath() const
{
    return m_ui->vault;
}

QPushButton* SettingsView::logInButton() const
{
    return m_ui->logIn;
}

QPushButton* SettingsView::logOutButton() const
{
    return m_ui->logOut;
}

QPushButton* SettingsView::chooseVaultButton() const
{
    return m_ui->chooseVault;
}

QStackedWidget* SettingsView::account() const
{
    return m_ui->account;
}

QWidget* SettingsView::scrollable()
{
    auto* area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus); // the focus goes to the first control, as without it
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->setWidget(this);
    const QSize whole = sizeHint().expandedTo(minimumSizeHint());
    const int scrollBar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    area->setMinimumWidth(whole.width() + scrollBar);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() * 9 / 10 : whole.height();
    area->resize(whole.width() + scrollBar, std::min(whole.height(), room));
    return area;
}

void SettingsView::style()
{
    Style::makeSecondary(m_ui->notLoggedInText);
    Style::makeError(m_ui->logOut);
    for (QLabel* caption : {m_ui->vaultCaption, m_ui->remoteCaption}) {
        Style::makeSecondary(caption);
        caption->setFont(Style::font(Style::FontRole::caption, caption->font()));
    }
}

void SettingsView::follow()
{
    Settings& settings = m_reader.settings();
    m_ui->remoteImages->setChecked(settings.remoteImages());
    connect(m_ui->remoteImages, &QCheckBox::toggled, &settings, &Settings::setRemoteImages);
    connect(&settings, &Settings::remoteImagesChanged, this,
            [this] { m_ui->remoteImages->setChecked(m_reader.settings().remoteImages()); });
    m_ui->asText->setChecked(ArticleView::readsAsText(settings));
    connect(m_ui->asText, &QCheckBox::toggled, &settings, &Settings::setReadingView);
    connect(&settings, &Settings::readingViewChanged, this,
            [this] { m_ui->asText->setChecked(ArticleView::readsAsText(m_reader.settings())); });
    followBackground();
    connect(m_ui->logIn, &QPushButton::clicked, this, &SettingsView::logInRequested);
    connect(m_ui->logOut, &QPushButton::clicked, &m_reader.session(), &Session::logOut);
    connect(m_ui->chooseVault, &QPushButton::clicked, this, [this] {
        if (m_reader.quotes().chooseVault()) showVault();
    });
    connect(m_ui->checkForUpdates, &QPushButton::clicked, this,
            &SettingsView::checkForUpdatesRequested);
    connect(&m_reader.session(), &Session::accountChanged, this, &SettingsView::showAccount);
}

// Each box shows its setting, and sets it when the user changes it.
void SettingsView::followBackground()
{
    Settings& settings = m_reader.settings();
    m_ui->refreshMinutes->setRange(Settings::refreshMinutesRange.first,
                                   Settings::refreshMinutesRange.second);
    const auto show = [this] {
        const Settings& settings = m_reader.settings();
        m_ui->refreshMinutes->setValue(settings.refreshMinutes());
        m_ui->notifications->setChecked(settings.notifications());
        m_ui->keepInPanel->setChecked(settings.keepInPanel().value_or(panelShown()));
        m_ui->startWithSession->setChecked(settings.startWithSession());
    };
    show();
    // Typed minutes count once the box is left or Enter pressed, not at each digit.
    m_ui->refreshMinutes->setKeyboardTracking(false);
    connect(m_ui->refreshMinutes, &QSpinBox::valueChanged, &settings, &Settings::setRefreshMinutes);
    connect(m_ui->notifications, &QCheckBox::toggled, &settings, &Settings::setNotifications);
    connect(m_ui->keepInPanel, &QCheckBox::toggled, &settings, &Settings::setKeepInPanel);
    connect(m_ui->startWithSession, &QCheckBox::toggled, &settings, &Settings::setStartWithSession);
    for (const auto changed : {&Settings::refreshMinutesChanged, &Settings::notificationsChanged,
                               &Settings::keepInPanelChanged, &Settings::startWithSessionChanged})
        connect(&settings, changed, this, show);
}

bool SettingsView::panelShown()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SettingsView::showAccount()
{
    const std::optional<Account>& account = m_reader.session().account();
    m_ui->account->setCurrentWidget(account ? m_ui->loggedIn : m_ui->notLoggedIn);
    m_ui->loginName->setText(account ? account->loginName : QString());
    m_ui->server->setText(account ? account->server : QString());
    m_ui->logOut->setAccessibleDescription(
        account ? tr("Logged in as %1 on %2").arg(account->loginName, account->server) : QString());
}

void SettingsView::showVault()
{
    m_ui->vault->setText(m_reader.quotes().storedVault().value_or(tr("Not chosen")));
    m_ui->chooseVault->setAccessibleDescription(tr("Obsidian vault: %1.").arg(m_ui->vault->text()) +
                                                u' ' + m_ui->vaultCaption->text());
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    showVault(); // the first quote may have asked for it since the last time
}
