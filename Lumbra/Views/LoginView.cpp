#include "Views/LoginView.h"

#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/CertificateView.h"
#include "Views/DetailsView.h"
#include "Views/Style.h"
#include "Views/Wording.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

LoginView::LoginView(Reader& reader, QWidget* parent)
    : QWidget(parent), m_reader(reader), m_server(new QLineEdit(this)),
      m_states(new QStackedWidget(this)), m_logIn(new QPushButton(tr("Log In"))),
      m_cancel(new QPushButton(tr("Cancel"))), m_failure(new QLabel), m_details(new DetailsView),
      m_certificate(new CertificateView), m_retry(new QPushButton(tr("Log In")))
{
    m_server->setFixedWidth(300);
    m_server->setPlaceholderText(QStringLiteral("cloud.example.org"));
    m_server->setAccessibleName(tr("Server"));
    // Without it Qt describes the field by its placeholder, and Orca reads the example
    // after the address typed in as if it were part of it.
    m_server->setAccessibleDescription(
        tr("Your Nextcloud's address, for example cloud.example.org"));
    m_server->setText(m_reader.settings().server());

    buildStates();
    buildLayout();
    follow();
    m_logIn->setEnabled(!m_server->text().isEmpty());
    showState();
}

void LoginView::buildLayout()
{
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("Lumbra"), this);
    name->setFont(Style::font(Style::FontRole::appName, name->font()));
    name->setAlignment(Qt::AlignCenter);
    auto* intro = new QLabel(tr("Log in to your Nextcloud to read Nextcloud News."), this);
    Style::makeSecondary(intro);
    intro->setAlignment(Qt::AlignCenter);

    // A certificate to check makes the page taller than a small window: it scrolls.
    auto* page = new QWidget;
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Not a Tab stop of its own: it follows the focus through the page.
    scroll->setFocusPolicy(Qt::NoFocus);
    (new QVBoxLayout(this))->addWidget(scroll);
    this->layout()->setContentsMargins(0, 0, 0, 0);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(16);
    layout->addStretch();
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(intro);
    layout->addWidget(m_server, 0, Qt::AlignCenter);
    layout->addWidget(m_states, 0, Qt::AlignCenter);
    // Outside the states' stack, which would give it the height of one line a value.
    layout->addWidget(m_certificate, 0, Qt::AlignHCenter);
    layout->addWidget(m_retry, 0, Qt::AlignHCenter);
    layout->addStretch();
}

void LoginView::buildStates()
{
    // Idle: the default button. Waiting: progress and Cancel. Failed: the text and Log In.
    m_logIn->setDefault(true);
    m_retry->setDefault(true);
    Style::makeError(m_failure);
    m_failure->setWordWrap(true);
    m_failure->setAlignment(Qt::AlignCenter);
    m_failure->setTextFormat(Qt::PlainText);
    m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_failure->setFixedWidth(460); // wraps at a readable width; the height follows the text
    auto* waiting = new QWidget;
    auto* waitingRow = new QHBoxLayout(waiting);
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setFixedWidth(40);
    busy->setTextVisible(false);
    auto* hint = new QLabel(tr("Log in in your browser, then come back here."));
    Style::makeSecondary(hint);
    waitingRow->addWidget(busy);
    waitingRow->addWidget(hint);
    waitingRow->addWidget(m_cancel);
    auto* failed = new QWidget;
    auto* failedColumn = new QVBoxLayout(failed);
    failedColumn->addWidget(m_failure);
    failedColumn->addWidget(m_details);
    m_certificate->hide();
    m_retry->hide();
    auto* idle = new QWidget;
    (new QHBoxLayout(idle))->addWidget(m_logIn, 0, Qt::AlignCenter);
    m_states->addWidget(idle);
    m_states->addWidget(waiting);
    m_states->addWidget(failed);
}

void LoginView::follow()
{
    connect(m_server, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_reader.settings().setServer(text);
        m_logIn->setEnabled(!text.isEmpty());
        // The failure was about the address as it was.
        if (m_reader.session().login().kind() == LoginState::Kind::failed)
            m_reader.session().cancelLogin();
    });
    connect(m_server, &QLineEdit::returnPressed, this, &LoginView::logIn);
    connect(m_logIn, &QPushButton::clicked, this, &LoginView::logIn);
    connect(m_retry, &QPushButton::clicked, this, &LoginView::logIn);
    connect(m_cancel, &QPushButton::clicked, &m_reader.session(), &Session::cancelLogin);
    connect(&m_reader.session(), &Session::loginChanged, this, &LoginView::showState);
    connect(m_certificate, &CertificateView::trustRequested, &m_reader.session(),
            &Session::trustCertificate);
}

void LoginView::logIn()
{
    // Passed on as typed: the login flow normalises the address itself.
    if (!m_server->text().isEmpty()) m_reader.session().startLogin(m_server->text());
}

void LoginView::showState()
{
    const LoginState& login = m_reader.session().login();
    m_server->setEnabled(login.kind() != LoginState::Kind::waiting);
    const bool failed = login.kind() == LoginState::Kind::failed;
    m_retry->setVisible(failed);
    m_certificate->setVisible(failed && login.failure()->failure.certificate.has_value());
    switch (login.kind()) {
    case LoginState::Kind::idle:
        m_states->setCurrentIndex(0);
        break;
    case LoginState::Kind::waiting:
        m_states->setCurrentIndex(1);
        break;
    case LoginState::Kind::failed:
        m_failure->setText(Wording::loginFailure(*login.failure()));
        m_failure->setFixedHeight(m_failure->heightForWidth(m_failure->width()));
        m_details->setDetails(Wording::detailsBeyond(m_failure->text(), login.failure()->failure));
        if (const auto& certificate = login.failure()->failure.certificate)
            m_certificate->setCertificate(*certificate);
        m_states->setCurrentIndex(2);
        // After the focus has moved on from the hidden Cancel, so that nothing cuts it off.
        Accessibility::say(this, m_failure->text());
        break;
    }
}
