#include "App/DesktopEnvironment.h"
#include "App/Translations.h"
#include "MainWindowFixture.h"
#include "Views/AddFeedDialog.h"
#include "Views/CertificateView.h"
#include "Views/DetailsView.h"
#include "Views/MessageView.h"
#include "Views/SettingsView.h"
#include "Views/SourceActions.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>

using namespace Qt::StringLiterals;

// Every screen and dialog in English, German, French and the pseudo-translation (each text
// padded by 40% and bracketed), at the window's smallest size and at half of a 1440-pixel
// screen: no label, button, title or menu entry cut off, and, in the pseudo-translation,
// none that never went through a translation.

namespace {

// What a title bar keeps from its title: an icon and three buttons.
constexpr int titleBarButtons = 150;

bool insideScrollArea(const QWidget* widget)
{
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(up)) return true;
    return false;
}

// What is wrong with the texts of `root`'s window, one line each. `data` are texts that are
// not Lumbra's (the server's names, an address).
QStringList misfits(const QWidget* root, bool pseudo, const QStringList& data = {})
{
    QStringList wrong;
    const QWidget* window = root->window();
    const auto check = [&](const QWidget* widget, const QString& text, bool whole) {
        if (text.isEmpty()) return;
        const QString what = QString::fromLatin1(widget->metaObject()->className()) + u' ' + text;
        if (pseudo && !data.contains(text) && (!text.startsWith(u'[') || !text.endsWith(u']')))
            wrong << u"untranslated: "_s + what;
        // Cut by the window's edge, unless it can be scrolled to.
        const QRect shown(widget->mapTo(window, QPoint()), widget->size());
        if (!whole || (!window->rect().contains(shown) && !insideScrollArea(widget)))
            wrong << u"cut off: "_s + what;
    };
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty()) continue;
        // An elided heading keeps the whole in its tooltip and name.
        if (label->text().endsWith(u'\u2026') && !label->toolTip().isEmpty()) {
            check(label, label->toolTip(), true);
            continue;
        }
        check(label, label->text(),
              label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                : label->minimumSizeHint().width() <= label->width());
    }
    for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(window)) continue;
        const auto* tool = qobject_cast<const QToolButton*>(button);
        if (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly) {
            // Its words are its tooltip and name.
            if (pseudo && !tool->toolTip().isEmpty() && !tool->toolTip().startsWith(u'['))
                wrong << u"untranslated tooltip: "_s + tool->toolTip();
            continue;
        }
        if (button->text() == u"×"_s) continue; // a close mark drawn when the theme has none
        check(button, button->text(), button->width() >= button->sizeHint().width());
    }
    for (const QGroupBox* box : root->findChildren<QGroupBox*>())
        if (box->isVisibleTo(window))
            check(box, box->title(), box->width() >= box->minimumSizeHint().width());
    for (const QLineEdit* field : root->findChildren<QLineEdit*>())
        if (field->isVisibleTo(window) && !data.contains(field->placeholderText()))
            check(field, field->placeholderText(), true);
    if (window->isWindow() && !window->windowTitle().isEmpty()) {
        QFont bold = window->font();
        bold.setBold(true);
        const int title = QFontMetrics(bold).horizontalAdvance(window->windowTitle());
        if (title + titleBarButtons > window->width())
            wrong << u"title cut off: "_s + window->windowTitle();
    }
    return wrong;
}

// A menu sizes itself to its entries; only the screen's edge can cut one.
constexpr int screenWidth = 1440;

QStringList menuMisfits(const QMenuBar* bar, bool pseudo)
{
    QStringList wrong;
    for (const QAction* top : bar->actions()) {
        if (pseudo && !top->text().startsWith(u'['))
            wrong << u"untranslated menu: "_s + top->text();
        if (top->menu()->sizeHint().width() > screenWidth)
            wrong << u"menu wider than the screen: "_s + top->text();
        for (const QAction* entry : top->menu()->actions())
            if (pseudo && !entry->isSeparator() && !entry->text().startsWith(u'['))
                wrong << u"untranslated entry: "_s + entry->text();
    }
    return wrong;
}

QLabel* labelNamed(const QWidget* root, const QString& name)
{
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->accessibleName() == name) return label;
    return nullptr;
}

} // namespace

class FitTest : public ViewTest {
    Q_OBJECT

    std::unique_ptr<Translations> m_language;
    bool m_pseudo = false;
    QSize m_size;
    QStringList m_data;

    void speak()
    {
        QFETCH(QString, language);
        QFETCH(QSize, size);
        m_pseudo = language.startsWith(u"pseudo"_s);
        m_language = m_pseudo ? Translations::pseudo(language.endsWith(u"rtl"_s) ? Qt::RightToLeft
                                                                                 : Qt::LeftToRight)
                              : std::make_unique<Translations>(QStringList{language});
        m_size = size;
    }

    void sizeWindow()
    {
        window->resize(m_size);
        QTRY_COMPARE(window->size(), m_size);
        m_data = QStringList{u"Lumbra"_s,
                             u"cloud.example.org"_s,
                             u"https://example.org/feed.xml"_s,
                             f->sandbox.account().server,
                             f->sandbox.account().loginName,
                             QString::fromLatin1(LUMBRA_VERSION)};
    }

    // `dialog` once it shows, checked, then closed.
    void checkDialog(QWidget* dialog, const QStringList& data = {})
    {
        QVERIFY(dialog);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        // Once its layout has settled.
        QStringList wrong;
        QTRY_VERIFY2((wrong = misfits(dialog, m_pseudo, m_data + data)).isEmpty(),
                     qPrintable(wrong.join(u'\n')));
    }

    void checkWindow()
    {
        QStringList wrong;
        QTRY_VERIFY2((wrong = misfits(window.get(), m_pseudo, m_data) +
                              menuMisfits(window->menuBar(), m_pseudo))
                         .isEmpty(),
                     qPrintable(wrong.join(u'\n')));
    }

    static void languagesAndSizes()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QSize>("size");
        const QSize smallest = LumbraApp::minimumWindowSize;
        const QSize half(720, 860); // half of 1440 × 900, under a panel
        for (const QString& language : {u"en"_s, u"de"_s, u"fr"_s, u"pseudo"_s}) {
            QTest::addRow("%s, smallest", qPrintable(language)) << language << smallest;
            QTest::addRow("%s, half", qPrintable(language)) << language << half;
        }
        QTest::addRow("pseudo, right to left") << u"pseudo-rtl"_s << smallest;
    }

private Q_SLOTS:
    void cleanup()
    {
        tearDown();
        m_language.reset();
    }

    void loginAndCertificate_data() { languagesAndSizes(); }
    void loginAndCertificate()
    {
        speak();
        sandbox::Options options;
        options.https = true;
        build(false, options);
        sizeWindow();
        checkWindow();
        LoginView* login = content->loginView();
        login->serverField()->setText(f->sandbox.account().server);
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        CertificateView* shown = login->certificate();
        QVERIFY(shown->isVisible());
        const CertificateInfo met = shown->shown();
        // Its values are the certificate's, not Lumbra's words.
        for (const QLabel* value : shown->findChildren<QLabel*>())
            if ((value->focusPolicy() & Qt::TabFocus) && value != shown->problems())
                m_data << value->text();
        checkWindow();
        login->details()->toggle()->click();
        checkWindow();
        // A real certificate's names run long: they take more lines rather than make the
        // page scroll sideways.
        CertificateInfo named = met;
        named.subject = u"cloud.example.org, Gemeinschaftspraxis Dr. Annegret Müller-Lüdenscheidt "
                        "und Partner, Abteilung Informationstechnik"_s;
        named.issuer = u"Sectigo RSA Organization Validation Secure Server CA, Sectigo Limited"_s;
        shown->setCertificate(named);
        QLabel* subject = nullptr;
        QTRY_VERIFY((subject = labelNamed(shown, named.subject)) && subject->isVisible());
        m_data << subject->text() << labelNamed(shown, named.issuer)->text();
        const QScrollArea* page = login->findChild<QScrollArea*>();
        QVERIFY(page->widget()->minimumSizeHint().width() <= page->viewport()->width());
        checkWindow();

        // Reviewed after its key changed: the key trusted before beside the new one.
        CertificateInfo changed = met;
        changed.pinned = met.publicKey;
        const std::unique_ptr<QDialog> review = CertificateView::inDialog(window.get(), changed);
        checkDialog(review.get());
    }

    void columnsAndMessages_data() { languagesAndSizes(); }
    void columnsAndMessages()
    {
        speak();
        build(true);
        sizeWindow();
        f->reader->timeline().select(f->reader->timeline().items().first().id);
        checkWindow();
        // Searching, the mark button keeps its words.
        f->reader->timeline().search().setQuery(u"a"_s);
        QTRY_VERIFY(f->reader->timeline().search().shownCount() > 0);
        QCoreApplication::processEvents();
        QToolButton* mark = content->timeline()->markAllReadButton();
        QVERIFY2(mark->toolButtonStyle() != Qt::ToolButtonIconOnly, qPrintable(mark->text()));
        checkWindow();

        // A failure, its cause unfolded.
        Failure refused;
        refused.kind = Failure::Kind::newsStatus;
        refused.request = u"/items/5/read"_s;
        refused.status = 500;
        f->reader->session().setMessage(Notice(Notice::Kind::changeRefused, {}, refused));
        auto* banner = window->findChild<MessageView*>();
        QTRY_VERIFY(banner && banner->isVisible());
        const auto settled = [&] {
            return window->rect().contains(
                QRect(banner->mapTo(window.get(), QPoint()), banner->size()));
        };
        QTRY_VERIFY(settled()); // it slides in from the edge
        checkWindow();
        banner->detailsButton()->click();
        checkWindow();
    }

    void dialogs_data() { languagesAndSizes(); }
    void dialogs()
    {
        speak();
        build(true);
        sizeWindow();
        SourceActions* sources = content->sourceActions();
        const QStringList names{u"Tech & Science"_s, u"Planet Code"_s};

        const std::unique_ptr<QWidget> settings((new SettingsView(*f->reader))->scrollable());
        checkDialog(settings.get());

        sources->newFolder->trigger();
        checkDialog(sources->dialog());
        sources->dialog()->reject();
        f->reader->timeline().selectSource(Source::feed(1));
        sources->rename->trigger();
        checkDialog(sources->dialog(), names);
        sources->dialog()->reject();
        sources->unsubscribe->trigger();
        checkDialog(sources->dialog(), names);
        sources->dialog()->reject();

        // Add Feed, offering the feeds a site's page names.
        sources->addFeed->trigger();
        auto* adding = qobject_cast<AddFeedDialog*>(sources->dialog());
        QVERIFY(adding);
        adding->addressField()->setText(f->sandbox.account().server + u"/subscribable/"_s);
        adding->accept();
        QTRY_VERIFY(adding->foundFeeds()->isVisible());
        checkDialog(adding, {adding->addressField()->text()});
        adding->reject();

        // An import: its summary, then its report.
        QTemporaryDir folder;
        QFile list(folder.filePath(u"subscriptions.opml"_s));
        QVERIFY(list.open(QIODevice::WriteOnly));
        // One feed that is not there, one address that is no web address.
        list.write("<opml version=\"2.0\"><body><outline text=\"Reading\">"
                   "<outline text=\"Gone\" xmlUrl=\"http://127.0.0.1:9/gone.xml\"/>"
                   "<outline text=\"Mail\" xmlUrl=\"mailto:someone@example.org\"/>"
                   "</outline></body></opml>");
        list.close();
        sources->importFrom(list.fileName());
        QTRY_VERIFY(qobject_cast<QMessageBox*>(sources->dialog()));
        // Watched, not compared by address: the report may be made where the summary was.
        const QPointer<QMessageBox> summary = qobject_cast<QMessageBox*>(sources->dialog());
        checkDialog(summary);
        for (QAbstractButton* button : summary->buttons())
            if (summary->buttonRole(button) == QMessageBox::AcceptRole) button->click();
        // The report follows the server's answers, which a busy machine slows.
        QTRY_VERIFY_WITH_TIMEOUT(!summary && !f->reader->organiser().importing() &&
                                     qobject_cast<QMessageBox*>(sources->dialog()),
                                 30000);
        checkDialog(sources->dialog());
        sources->dialog()->reject();

        // The vault chooser, where Qt's own dialog shows it.
        const std::unique_ptr<QFileDialog> chooser =
            DialogFolderChooser::vaultDialog(window.get(), folder.path());
        chooser->setOption(QFileDialog::DontUseNativeDialog);
        checkDialog(chooser.get(), {folder.path()});
        const QList<QLabel*> labels = chooser->findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel* label) {
            return label->wordWrap() && label->isVisible(); // what the vault is for
        }));
    }
};

QTEST_MAIN(FitTest)
#include "tst_fit.moc"
