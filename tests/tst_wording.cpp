#include "App/Translations.h"
#include "LumbraCore/Appcast.h"
#include "Views/Wording.h"

#include <QRegularExpression>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Names, titles and addresses come from servers, feeds and the user's files: a message
// must show them as they are, whatever markers of its own they hold.
const QString outside = u"weekly %1 %2 %L1 %n digest"_s;

Failure failed(Failure::Kind kind, QString request = {}, QString detail = {})
{
    Failure failure;
    failure.kind = kind;
    failure.request = std::move(request);
    failure.detail = std::move(detail);
    return failure;
}

Failure networkFailure(QNetworkReply::NetworkError error, QString detail = {})
{
    Failure failure = failed(Failure::Kind::network, {}, std::move(detail));
    failure.network = error;
    return failure;
}

using Message = std::function<QString(const QString& text)>;

// Every message that carries text from outside, named for the failure report.
QList<std::pair<QString, Message>> messages()
{
    using Kind = Failure::Kind;
    QList<std::pair<QString, Message>> all{
        {u"News refused a request: the details"_s,
         [](const QString& text) { return Wording::details(failed(Kind::newsStatus, text)); }},
        {u"certificate for another name"_s,
         [](const QString& text) {
             CertificateInfo certificate;
             certificate.subject = text;
             certificate.problems = {CertificateProblem::otherName, CertificateProblem::unvouched};
             return Wording::certificateProblems(certificate).first();
         }},
        {u"redirected"_s,
         [](const QString& text) { return Wording::failure(failed(Kind::redirected, text)); }},
        {u"invalid address"_s,
         [](const QString& text) { return Wording::failure(failed(Kind::invalidAddress, text)); }},
        {u"already subscribed"_s,
         [](const QString& text) {
             return Wording::failure(failed(Kind::alreadySubscribed, {}, text));
         }},
        {u"unreadable reply"_s,
         [](const QString& text) { return Wording::failure(failed(Kind::unreadable, {}, text)); }},
        {u"articles not loaded"_s,
         [](const QString& text) {
             return Wording::notice(
                 Notice(Notice::Kind::articlesNotLoaded, {}, failed(Kind::unreadable, {}, text)));
         }},
        {u"change not sent"_s,
         [](const QString& text) {
             return Wording::notice(
                 Notice(Notice::Kind::changeRefused, {},
                        networkFailure(QNetworkReply::ContentNotFoundError, text)));
         }},
        {u"refresh: News missing"_s,
         [](const QString& text) {
             return Wording::refreshFailure({text, failed(Kind::newsMissing)});
         }},
        {u"refresh: unreachable"_s,
         [](const QString& text) {
             return Wording::refreshFailure(
                 {text, networkFailure(QNetworkReply::ContentNotFoundError, text)});
         }},
        {u"login: no login there"_s,
         [](const QString& text) {
             Failure missing = failed(Kind::newsStatus);
             missing.status = 404;
             return Wording::loginFailure(LoginFailure(LoginFailure::Kind::request, missing, text,
                                                       u"https://cloud.example/"_s));
         }},
        {u"login: refused, no scheme typed"_s,
         [](const QString& text) {
             return Wording::loginFailure(LoginFailure(
                 LoginFailure::Kind::request, networkFailure(QNetworkReply::ConnectionRefusedError),
                 text, u"https://"_s + text));
         }},
        {u"login: no TLS"_s,
         [](const QString& text) {
             return Wording::loginFailure(
                 LoginFailure(LoginFailure::Kind::request,
                              networkFailure(QNetworkReply::SslHandshakeFailedError, text), text,
                              u"https://"_s + text));
         }},
        {u"subscribe: the server's fetcher failed"_s,
         [](const QString& text) {
             Failure unreachable = failed(Kind::newsStatus);
             unreachable.status = 404;
             unreachable.serverMessage = u"cURL error 6: Could not resolve host"_s;
             return Wording::subscribeFailure(text, unreachable);
         }},
        {u"update available"_s,
         [](const QString& text) {
             return Wording::updateCheck(
                 Appcast::outcome(Appcast::Release{u"9.0 "_s + text, {}, {}}, u"1.0"_s));
         }},
    };
    for (const Notice::Kind kind :
         {Notice::Kind::quoteAdded, Notice::Kind::addressRefused, Notice::Kind::mailLinkRefused,
          Notice::Kind::noNoteProgram, Notice::Kind::linkCopied, Notice::Kind::subscribed,
          Notice::Kind::unsubscribed})
        all.append({u"notice %1"_s.arg(int(kind)),
                    [kind](const QString& text) { return Wording::notice(Notice(kind, text)); }});
    using Problem = VaultProblem::Kind;
    for (const Problem kind :
         {Problem::noteNotRegular, Problem::noteUnreadable, Problem::noteNotText,
          Problem::noteOutside, Problem::noteIsLink, Problem::noteReadOnly, Problem::noteNotLumbras,
          Problem::noteNotSaved, Problem::folderNotWritable, Problem::noFileInFolder,
          Problem::noVaultFolder, Problem::noLumbraFolder, Problem::vaultNotWritable})
        all.append({u"vault problem %1"_s.arg(int(kind)), [kind](const QString& text) {
                        return Wording::notice(Notice(VaultProblem(kind, text, text)));
                    }});
    all.append({u"note too large"_s, [](const QString& text) {
                    return Wording::notice(Notice(VaultProblem::tooLarge(text, 10'000'000)));
                }});
    all.append({u"note cut short"_s, [](const QString& text) {
                    return Wording::notice(Notice(VaultProblem::cutShort(text, 7846, 60091)));
                }});
    return all;
}

} // namespace

class WordingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void outsideTextIsShownAsItIs_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << u"en"_s;
        QTest::newRow("German") << u"de"_s;
        QTest::newRow("French") << u"fr"_s;
    }

    void outsideTextIsShownAsItIs()
    {
        QFETCH(QString, language);
        const QString plain = u"Weekly digest"_s;
        QStringList english;
        for (const auto& message : messages())
            english << message.second(plain);
        const Translations translations({language});
        // A marker left in a message is one its words did not fill.
        static const QRegularExpression marker(u"%L?\\d"_s);
        for (qsizetype at = 0; const auto& [name, message] : messages()) {
            const QString shown = message(outside);
            QVERIFY2(shown.contains(outside), qPrintable(name + u": "_s + shown));
            QVERIFY2(!QString(shown).remove(outside).contains(marker),
                     qPrintable(name + u": "_s + shown));
            // Translated, so the words checked above were the language's own.
            if (language != u"en") QVERIFY2(message(plain) != english.at(at), qPrintable(name));
            ++at;
        }
    }
};

QTEST_GUILESS_MAIN(WordingTest)
#include "tst_wording.moc"
