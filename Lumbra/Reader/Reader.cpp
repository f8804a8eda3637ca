#include "Reader/Reader.h"

#include "LumbraCore/ItemLink.h"
#include "LumbraCore/MailLink.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/Lifetime.h"
#include "Reader/SourceOrder.h"

namespace {

// Every copy of the HTTP session shares one set of trusted certificates.
ReaderEnvironment withPins(ReaderEnvironment environment)
{
    if (!environment.session.pins) environment.session.pins = std::make_shared<CertificatePins>();
    return environment;
}

} // namespace

Reader::Reader(ReaderEnvironment environment, QObject* parent)
    : QObject(parent), m_env(withPins(std::move(environment))), m_session(m_env, m_subscriptions),
      m_timeline(m_session, m_subscriptions, *m_env.clock),
      m_marker(m_session, m_subscriptions, m_timeline),
      m_organiser(m_session, m_subscriptions, m_timeline),
      m_quotes(m_env, m_session, m_subscriptions, m_timeline)
{
    SourceOrder::loadCollationInBackground();
    m_session.setItemLoader([this] { return m_timeline.load(); });
    connect(&m_session, &Session::accountChanged, this, [this] {
        if (!m_session.account()) m_timeline.clear();
    });
    connect(&m_timeline, &Timeline::chosen, &m_marker, &Marker::markChosenRead);
}

Reader::~Reader() = default;

QCoro::Task<> Reader::start()
{
    return m_session.start();
}

void Reader::openInBrowser(const Item& item)
{
    if (item.url) openUrl(QUrl(*item.url, QUrl::StrictMode));
}

void Reader::openUrl(const QUrl& url)
{
    if (isWebAddress(url)) {
        m_env.browser->open(url, {});
        return;
    }
    // A feed's mail link reaches the mail program with its address, subject and text only.
    if (const std::optional<QUrl> mail = safeMailLink(url)) {
        m_env.browser->open(*mail, whileAlive(m_lifetime, [this] {
            m_session.setMessage(Notice{Notice::Kind::noMailProgram});
        }));
        return;
    }
    m_session.setMessage(
        Notice(isMailAddress(url) ? Notice::Kind::mailLinkRefused : Notice::Kind::addressRefused,
               url.toDisplayString()));
}

QCoro::Task<> Reader::openLink(LumbraLink link)
{
    std::optional<Item> item;
    if (m_session.account()) {
        try {
            item = co_await guarded(m_lifetime,
                                    m_session.api().item(link.itemId(), m_lifetime.token()));
        } catch (const LumbraError&) {
            // Falls back like an item the server no longer has.
        }
    }
    if (item) {
        m_timeline.showLinked(std::move(*item));
        co_return;
    }
    if (link.url()) {
        if (m_browserBursts.allows(*link.url(), m_env.clock->now())) openUrl(*link.url());
    } else
        m_session.setMessage(Notice{Notice::Kind::articleGone});
}
