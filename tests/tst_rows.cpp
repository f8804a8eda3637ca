#include "App/LumbraApp.h"
#include "MainWindowFixture.h"
#include "Views/ItemRowDelegate.h"
#include "Views/TimelineModel.h"

#include <QHelpEvent>
#include <QListView>
#include <QPainter>
#include <QStandardItemModel>
#include <QTextLayout>
#include <QToolTip>

using namespace Qt::StringLiterals;

namespace {

using Roles = QMap<int, QVariant>;

// A row holding `roles` as the timeline's delegate paints it, `width` wide, on `palette`'s
// base (black on white unless given), with `roomBelow` more pixels under the row.
QImage paintedRow(const Roles& roles, std::optional<QPalette> palette = std::nullopt,
                  int width = 360, int roomBelow = 0,
                  Qt::LayoutDirection direction = Qt::LeftToRight)
{
    QStandardItemModel model;
    auto* row = new QStandardItem;
    for (auto role = roles.cbegin(); role != roles.cend(); ++role)
        row->setData(*role, role.key());
    model.appendRow(row);
    ItemRowDelegate delegate;
    QStyleOptionViewItem option;
    option.direction = direction;
    option.font = QApplication::font();
    if (palette) {
        option.palette = *palette;
    } else {
        option.palette.setColor(QPalette::Base, Qt::white);
        option.palette.setColor(QPalette::Text, Qt::black);
    }
    option.rect = QRect(0, 0, width, delegate.sizeHint(option, model.index(0, 0)).height());
    QImage image(width, option.rect.height() + roomBelow, QImage::Format_RGB32);
    image.fill(option.palette.color(QPalette::Base));
    QPainter painter(&image);
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

// The leftmost and rightmost columns where two paintings differ; (width, -1) for none.
std::pair<int, int> differingColumns(const QImage& one, const QImage& other)
{
    int left = one.width(), right = -1;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x)
            if (one.pixel(x, y) != other.pixel(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

} // namespace

// How the article rows are painted: every glyph inside, both directions, the search's marks, every
// theme.
class RowsTest : public ViewTest {
    Q_OBJECT

private Q_SLOTS:
    // A row may cut its title or its feed's title short; hovering it then shows both whole.
    void aRowCutShortShowsItWholeAsItsTooltip_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("feedTitle");
        QTest::addColumn<QString>("tooltip");
        const QString title = u"A title long enough to need more than three lines "_s.repeated(4);
        const QString feed = u"A feed whose name takes more than its line "_s.repeated(3);
        QTest::newRow("all shown") << u"Short"_s << u"Feed"_s << QString();
        QTest::newRow("the title cut") << title << u"Feed"_s << title;
        QTest::newRow("the feed cut") << u"Short"_s << feed << u"Short\n"_s + feed;
    }

    void aRowCutShortShowsItWholeAsItsTooltip()
    {
        QFETCH(QString, title);
        QFETCH(QString, feedTitle);
        QFETCH(QString, tooltip);
        QStandardItemModel model;
        auto* row = new QStandardItem(title);
        row->setData(feedTitle, TimelineModel::FeedTitleRole);
        row->setData(u"2 hours ago"_s, TimelineModel::DateRole);
        model.appendRow(row);
        QListView view;
        view.setItemDelegate(new ItemRowDelegate(&view));
        view.setModel(&model);
        view.resize(360, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QPoint at = view.visualRect(model.index(0, 0)).center();
        QHelpEvent hover(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &hover);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), tooltip);
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
    }

    // A row shows a line of its title, however long the feed made it.
    void aMegabyteTitleIsCutForItsRow()
    {
        build(true);
        f->sandbox.server->store().addItem({.id = 990,
                                            .feedId = 5,
                                            .guid = "huge",
                                            .title = std::string(1'000'000, 'T'),
                                            .pubDate = f->clock.now()},
                                           f->clock.now());
        f->reader->session().refresh();
        const auto* model = content->timeline()->list()->model();
        QTRY_VERIFY(!f->reader->session().refreshing() && model->rowCount() > 0 &&
                    model->index(0, 0).data(TimelineModel::IdRole).toLongLong() == 990);
        const QString shown = model->index(0, 0).data().toString();
        QVERIFY(!shown.isEmpty() && shown.size() <= 2000);
        QCOMPARE(shown, QString(shown.size(), u'T'));
    }

    void rowsFollowTheirTextAndTheWindow_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("rightToLeft");
        QTest::addColumn<Qt::LayoutDirection>("window");
        const QString arabic =
            u"\u0645\u062D\u0627\u062F\u062B\u0627\u062A (\u062C\u062F\u064A\u062F\u0629)"_s;
        QTest::newRow("English") << u"Talks (again) in Geneva"_s << false << Qt::LeftToRight;
        QTest::newRow("Arabic") << arabic << true << Qt::LeftToRight;
        QTest::newRow("Hebrew") << u"\u05E9\u05DC\u05D5\u05DD (\u05E2\u05D5\u05DC\u05DD)"_s << true
                                << Qt::LeftToRight;
        QTest::newRow("English, mirrored window")
            << u"Talks (again) in Geneva"_s << false << Qt::RightToLeft;
        QTest::newRow("Arabic, mirrored window") << arabic << true << Qt::RightToLeft;
    }

    // A title starts where its script starts, whatever the window's direction; the row's
    // own parts (the unread dot, the feed, the date) follow the window's.
    void rowsFollowTheirTextAndTheWindow()
    {
        QFETCH(QString, title);
        QFETCH(bool, rightToLeft);
        QFETCH(Qt::LayoutDirection, window);
        // The columns where a row holding `roles` differs from one holding `without`.
        const auto ink = [window](const Roles& roles, const Roles& without = {}) {
            return differingColumns(paintedRow(roles, std::nullopt, 600, 0, window),
                                    paintedRow(without, std::nullopt, 600, 0, window));
        };
        const auto [left, right] =
            ink({{Qt::DisplayRole, title}, {TimelineModel::ExcerptRole, title}});
        QVERIFY(right > left);
        if (rightToLeft)
            QVERIFY2(left > 300 && right > 570, qPrintable(u"%1..%2"_s.arg(left).arg(right)));
        else
            QVERIFY2(right < 300 && left < 30, qPrintable(u"%1..%2"_s.arg(left).arg(right)));

        const bool mirrored = window == Qt::RightToLeft;
        const auto dot = ink({{TimelineModel::UnreadRole, true}});
        QVERIFY2(mirrored ? dot.first > 570 : dot.second < 30, qPrintable(u"%1"_s.arg(dot.first)));
        const Roles dated{{TimelineModel::DateRole, u"2 hours ago"_s}};
        const auto date = ink(dated);
        Roles both = dated;
        both.insert(TimelineModel::FeedTitleRole, title);
        const auto feed = ink(both, dated);
        QVERIFY2(mirrored ? date.second < feed.first : feed.second < date.first,
                 qPrintable(u"feed %1..%2, date %3..%4"_s.arg(feed.first)
                                .arg(feed.second)
                                .arg(date.first)
                                .arg(date.second)));
        QVERIFY2(mirrored ? date.first < 30 : date.second > 570,
                 qPrintable(u"%1"_s.arg(date.first)));
    }

    void rowsAreAsTallAsTheirScriptsNeed()
    {
        build(true); // the demo lists a Japanese feed and title
        QListView* list = content->timeline()->list();
        const QString sample =
            list->model()->index(0, 0).data(TimelineModel::LineSampleRole).toString();
        QVERIFY(sample.contains(u'東'));
        QVERIFY(!sample.contains(u'a') && !sample.contains(u'\u2014')); // Latin text, dashes
        const int mixed = list->sizeHintForRow(0);
        // A list in Latin script alone gets the main font's shorter lines.
        f->reader->timeline().selectSource(Source::feed(1));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(list->model()->index(0, 0).data(TimelineModel::LineSampleRole).toString(),
                 QString());
        QVERIFY2(list->sizeHintForRow(0) < mixed,
                 qPrintable(u"%1 px, %2 with CJK"_s.arg(list->sizeHintForRow(0)).arg(mixed)));
    }

    void rowsKeepEveryGlyphInside_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("excerpt");
        const auto times = [](const QString& text, int n) { return text.repeated(n); };
        QTest::newRow("underscores, three lines")
            << times(u"snake_case_name gjpqy_ "_s, 12) << times(u"under_score gjpqy_ "_s, 20);
        QTest::newRow("CJK, three lines")
            << times(u"東京で桜が満開、한국어 "_s, 12) << times(u"桜の季節です。"_s, 30);
        QTest::newRow("emoji") << times(u"Party 🎉🍣👍🏽 "_s, 10)
                               << times(u"🇸🇪 Fika ☕ "_s, 20);
        QTest::newRow("one-line title") << u"Short"_s << times(u"under_score gjpqy_ "_s, 20);
    }

    void rowsKeepEveryGlyphInside()
    {
        QFETCH(QString, title);
        QFETCH(QString, excerpt);
        // Room below the row: whatever is drawn past its height shows there. The line sample
        // is what the timeline's model gives: the characters beyond Latin the list uses.
        const QImage image = paintedRow({{Qt::DisplayRole, title},
                                         {TimelineModel::ExcerptRole, excerpt},
                                         {TimelineModel::UnreadRole, true},
                                         {TimelineModel::FeedTitleRole, u"Feed_gjpqy 東京"_s},
                                         {TimelineModel::LineSampleRole, QString(title + excerpt)}},
                                        std::nullopt, 360, 60);
        const int height = image.height() - 60;
        int lowest = -1;
        QList<int> tops; // where each run of pixel rows with ink starts: one per line
        bool inked = false;
        for (int y = 0; y < image.height(); ++y) {
            bool ink = false;
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 200) ink = true;
            if (ink) lowest = y;
            if (ink && !inked) tops << y;
            inked = ink;
        }
        QVERIFY(lowest > height / 2);
        QVERIFY2(tops.size() >= (title == u"Short"_s ? 4 : 5),
                 qPrintable(QString::number(tops.size())));
        if (title != u"Short"_s) {
            // The three title lines are as far apart as the fonts drawing them need.
            QFont bold = QApplication::font();
            bold.setBold(true);
            QTextLayout layout(title, bold);
            layout.beginLayout();
            QTextLine line = layout.createLine();
            line.setLineWidth(10'000);
            const int needed = int(std::ceil(line.height()));
            layout.endLayout();
            QVERIFY2(
                tops[2] - tops[1] >= needed && tops[3] - tops[2] >= needed,
                qPrintable(u"lines %1 px apart, %2 needed"_s.arg(tops[2] - tops[1]).arg(needed)));
        }
        QVERIFY2(lowest < height - 2, qPrintable(u"ink at %1 of %2"_s.arg(lowest).arg(height)));
        if (title == u"Short"_s) // the excerpt follows the title: the free line is at the end
            QVERIFY2(lowest < height - 12,
                     qPrintable(u"ink at %1 of %2"_s.arg(lowest).arg(height)));
    }

    void searchMarksSitUnderTheirWords_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("left to right") << u"Tiny bears in space"_s << u"Tiny"_s << u"space"_s;
        QTest::newRow("Hebrew") << u"שלום עולם יפה מאוד"_s << u"שלום"_s << u"מאוד"_s;
        QTest::newRow("Arabic") << u"مرحبا بالعالم الجميل"_s << u"مرحبا"_s << u"الجميل"_s;
    }

    // The tint of a search match lies under the matched word, in either direction: the
    // first word of a right-to-left title at the row's right edge, the last one left of it.
    void searchMarksSitUnderTheirWords()
    {
        QFETCH(QString, title);
        QFETCH(QString, first);
        QFETCH(QString, last);
        const auto paint = [&](const QString& word) {
            Roles roles{{Qt::DisplayRole, title}};
            if (!word.isEmpty())
                roles.insert(TimelineModel::TitleHighlightsRole,
                             QVariantList{QPoint(int(title.indexOf(word)), int(word.size()))});
            return paintedRow(roles);
        };
        const QImage plain = paint(QString());
        // The middle of what marking `word` changed, in px from the left; -1 for nothing.
        const auto markOf = [&](const QString& word) {
            const auto [from, to] = differingColumns(plain, paint(word));
            return to < 0 ? -1 : (from + to) / 2;
        };
        const int firstMark = markOf(first);
        const int lastMark = markOf(last);
        QVERIFY2(firstMark >= 0 && lastMark >= 0, "nothing marked");
        if (title.isRightToLeft()) {
            QVERIFY2(firstMark > plain.width() / 2 && lastMark < firstMark,
                     qPrintable(u"first at %1 px, last at %2 px"_s.arg(firstMark).arg(lastMark)));
        } else {
            QVERIFY(firstMark < lastMark);
        }
    }

    void errorsAndMarksReadInEveryTheme_data()
    {
        QTest::addColumn<QPalette>("palette");
        QPalette light(Qt::black, QColor(0xef, 0xf0, 0xf1), Qt::white, Qt::gray, Qt::gray,
                       Qt::black, Qt::white);
        light.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
        // Breeze Dark's colours, and a theme whose highlight is darker still.
        QPalette dark(QColor(0xfc, 0xfc, 0xfc), QColor(0x31, 0x36, 0x3b), Qt::black, Qt::gray,
                      Qt::gray, QColor(0xfc, 0xfc, 0xfc), QColor(0x1b, 0x1e, 0x20));
        dark.setColor(QPalette::Button, QColor(0x5d, 0x61, 0x65));
        dark.setColor(QPalette::Highlight, QColor(0x1d, 0x54, 0x6e));
        QTest::newRow("light") << light;
        QTest::newRow("dark") << dark;
        dark.setColor(QPalette::Highlight, QColor(0x20, 0x20, 0x38));
        QTest::newRow("dark, dim highlight") << dark;
    }

    // The destructive Log Out and the unread dot stand out enough to be seen (WCAG: 4.5:1
    // for text, 3:1 for marks), in a dark theme too.
    void errorsAndMarksReadInEveryTheme()
    {
        QFETCH(QPalette, palette);
        QPushButton logOut(u"Log Out"_s);
        logOut.setPalette(palette);
        Style::makeError(&logOut);
        const QPalette& shown = logOut.palette();
        QVERIFY(Style::contrast(shown.color(QPalette::ButtonText), shown.color(QPalette::Button)) >=
                4.5);

        const QImage image = paintedRow(
            {{Qt::DisplayRole, u"Unread"_s}, {TimelineModel::UnreadRole, true}}, palette);
        double dot = 1; // the strongest mark left of the text
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 20; ++x)
                dot = std::max(dot,
                               Style::contrast(image.pixel(x, y), palette.color(QPalette::Base)));
        QVERIFY2(dot >= 3.0, qPrintable(QString::number(dot)));
    }

    void iconsStayVisibleInADarkDesktop()
    {
        LumbraApp app; // follows the palette from here on
        const QPalette original = QApplication::palette();
        // The mean lightness of an icon's ink.
        const auto lightness = [](const QIcon& icon) {
            const QImage image = icon.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
            qint64 sum = 0, count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) > 128) {
                        sum += QColor(image.pixel(x, y)).lightness();
                        ++count;
                    }
            return count ? sum / count : -1;
        };
        for (const bool dark : {true, false, true}) {
            QPalette palette = original;
            palette.setColor(QPalette::Window, dark ? QColor(0x24, 0x24, 0x26) : Qt::white);
            QApplication::setPalette(palette);
            QCOMPARE(QIcon::themeName(), dark ? u"breeze-dark"_s : u"breeze"_s);
            // The glyph icons of the toolbar and menus (the browser's is a coloured app icon).
            for (QAction* action :
                 {app.actions().star, app.actions().markRead, app.actions().saveQuote,
                  app.actions().next, app.menu().refresh}) {
                const qint64 ink = lightness(action->icon());
                QVERIFY2(dark ? ink > 128 : (ink >= 0 && ink < 128),
                         qPrintable(action->text() + u": "_s + QString::number(ink)));
            }
        }
        QApplication::setPalette(original);
    }
};

QTEST_MAIN(RowsTest)
#include "tst_rows.moc"
