#include "Views/MessageView.h"

#include "Reader/Session.h"
#include "Views/Accessibility.h"
#include "Views/Wording.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QToolButton>

MessageView::MessageView(Session& session, QWidget* parent, std::chrono::milliseconds timeout)
    : QLabel(parent), m_session(session), m_wait(timeout),
      m_opacity(new QGraphicsOpacityEffect(this)),
      m_fade(new QPropertyAnimation(m_opacity, "opacity", this)),
      m_slide(new QPropertyAnimation(this, "pos", this)), m_dismiss(new QToolButton(this)),
      m_details(new QToolButton(this))
{
    setObjectName(QStringLiteral("messageBanner"));
    setStyleSheet(
        QStringLiteral("#messageBanner { padding: 8px 14px; border-radius: 16px;"
                       " background: palette(window); border: 1px solid palette(mid); }"));
    setTextFormat(Qt::PlainText);
    m_dismiss->setIcon(QIcon::fromTheme(QStringLiteral("window-close")));
    if (m_dismiss->icon().isNull()) m_dismiss->setText(QStringLiteral("×"));
    m_dismiss->setAutoRaise(true);
    m_dismiss->setFocusPolicy(Qt::StrongFocus);
    m_dismiss->setAccessibleName(tr("Dismiss"));
    m_dismiss->setToolTip(tr("Dismiss (Esc)"));
    connect(m_dismiss, &QToolButton::clicked, this, &MessageView::dismiss);
    m_dismiss->installEventFilter(this); // Escape there dismisses too
    m_details->setText(tr("Details"));
    m_details->setCheckable(true);
    m_details->setAutoRaise(true);
    m_details->setFocusPolicy(Qt::StrongFocus);
    m_details->installEventFilter(this);
    connect(m_details, &QToolButton::toggled, this, &MessageView::showText);
    // Dismissed, the focus goes back to where it came from.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if ((now == m_dismiss || now == m_details) && old != m_dismiss && old != m_details)
            m_returnFocus = old;
    });
    setGraphicsEffect(m_opacity);
    m_fade->setDuration(200);
    m_slide->setDuration(200);
    m_slide->setEasingCurve(QEasingCurve::OutCubic);
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &MessageView::timedOut);
    connect(m_fade, &QPropertyAnimation::finished, this, [this] {
        if (m_opacity->opacity() == 0.0) hide();
    });
    connect(&session, &Session::messageChanged, this, &MessageView::showMessage);
    parent->installEventFilter(this);
    hide();
    showMessage();
}

void MessageView::showMessage()
{
    const std::optional<Notice>& message = m_session.message();
    if (!message) {
        giveFocusBack();
        m_shown.reset();
        m_timeout.stop();
        m_fade->stop();
        m_fade->setStartValue(m_opacity->opacity());
        m_fade->setEndValue(0.0);
        m_fade->start();
        return;
    }
    m_shown = message;
    m_details->setChecked(false);
    showText();
    const bool arriving = isHidden() || m_opacity->opacity() < 1.0;
    reposition();
    if (arriving) {
        m_slide->stop();
        m_slide->setStartValue(pos() + QPoint(0, 24)); // slides in from the bottom edge
        m_slide->setEndValue(pos());
        m_slide->start();
    }
    show();
    raise();
    Accessibility::say(this, text());
    m_fade->stop();
    m_fade->setStartValue(m_opacity->opacity());
    m_fade->setEndValue(1.0);
    m_fade->start();
    if (staysUntilDismissed(*message))
        m_timeout.stop();
    else
        startWait(); // a new text gets its own full wait
}

bool MessageView::staysUntilDismissed(const Notice& notice)
{
    switch (notice.kind) {
    case Notice::Kind::quoteAdded:
    case Notice::Kind::linkCopied:
    case Notice::Kind::exported:
    case Notice::Kind::subscribed:
    case Notice::Kind::unsubscribed:
    case Notice::Kind::nothingSelected:
    case Notice::Kind::articleNotShownYet:
        return false;
    default:
        return true;
    }
}

void MessageView::showText()
{
    if (!m_shown) return;
    QString text = Wording::notice(*m_shown);
    const QString details =
        m_shown->failure ? Wording::detailsBeyond(text, *m_shown->failure) : QString();
    m_details->setVisible(!details.isEmpty());
    if (m_details->isChecked()) text += u'\n' + details;
    setText(text);
    const int buttons =
        m_dismiss->sizeHint().width() + (details.isEmpty() ? 0 : m_details->sizeHint().width());
    setContentsMargins(0, 0, buttons + 6, 0);
    fit();
}

void MessageView::fit()
{
    // One line where it fits; wrapped to the area's width where it does not.
    setWordWrap(false);
    const int natural = sizeHint().width();
    const int room = parentWidget() ? parentWidget()->width() - 32 : natural;
    setWordWrap(natural > room);
    const int width = std::min(natural, room);
    resize(width, wordWrap() ? heightForWidth(width) : sizeHint().height());
    reposition();
}

void MessageView::giveFocusBack()
{
    if (!m_dismiss->hasFocus() && !m_details->hasFocus()) return;
    // Back to where the user was reading, not to whatever follows the banner.
    if (m_returnFocus && m_returnFocus->isVisible() && m_returnFocus->isEnabled())
        m_returnFocus->setFocus(Qt::OtherFocusReason);
    else if (parentWidget())
        parentWidget()->nextInFocusChain()->setFocus(Qt::OtherFocusReason);
}

void MessageView::dismiss()
{
    giveFocusBack();
    if (m_shown && m_session.message() == m_shown) m_session.setMessage(std::nullopt);
}

void MessageView::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    const QSize button = m_dismiss->sizeHint();
    m_dismiss->setGeometry(width() - button.width() - 6, (height() - button.height()) / 2,
                           button.width(), button.height());
    const QSize details = m_details->sizeHint();
    m_details->setGeometry(m_dismiss->x() - details.width(), (height() - details.height()) / 2,
                           details.width(), details.height());
}

void MessageView::startWait()
{
    m_timeout.start(QAccessible::isActive() ? std::max(m_wait, listenedTimeout) : m_wait);
}

void MessageView::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    m_timeout.stop(); // being read
}

void MessageView::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    if (m_shown && !staysUntilDismissed(*m_shown)) startWait();
}

void MessageView::timedOut()
{
    // An older wait never clears a newer message.
    if (m_session.message() == m_shown) m_session.setMessage(std::nullopt);
}

void MessageView::reposition()
{
    if (!parentWidget()) return;
    const QWidget* area = parentWidget();
    move((area->width() - width()) / 2, area->height() - height() - 16);
}

bool MessageView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) fit();
    if ((watched == m_dismiss || watched == m_details) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        dismiss();
        return true;
    }
    return QLabel::eventFilter(watched, event);
}
