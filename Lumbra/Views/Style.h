#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class QLabel;
class QPalette;

// The look every view shares: colours, font roles and the empty state.
namespace Style {

// Whether `palette` is a dark appearance (light text on a dark window).
bool isDark(const QPalette& palette);

// Text that reports a failure.
QColor errorColor();
// The star of a starred article.
QColor starColor();

enum class FontRole {
    appName,    // the login screen's "Lumbra"
    heading,    // the timeline's source title
    emptyTitle, // an empty pane's title
    strong,     // a bold line at the normal size
    section,    // the sidebar's "Folders", "Feeds"
    caption,    // dates, feed names, excerpts, fine print
};

// `base` in the given role.
QFont font(FontRole role, const QFont& base);

// Reads the fonts that draw the common scripts and emoji on a worker, so the first rows
// that need them do not wait for the disk while they paint.
void loadFontsInBackground();

// Makes `dialog` at least as wide as its title needs beside a title bar's buttons: a
// window manager cuts a title that does not fit, often in the middle.
void keepTitleWhole(QWidget* dialog);

// `text` as a menu entry shows it: a name's "&" is not taken for a shortcut's mark.
QString menuText(QString text);

// Makes `label` show secondary text (hints, captions).
void makeSecondary(QLabel* label);
// Makes `widget`'s text the error colour (a failure, a destructive button), as light or
// dark as its background needs to read.
void makeError(QWidget* widget);

// The contrast of two colours as WCAG measures it, from 1 (none) to 21.
double contrast(const QColor& a, const QColor& b);
// `colour` made lighter or darker, as little as needed, until it has at least `ratio`
// contrast on `background` (4.5 for text, 3 for marks and shapes).
QColor readableOn(QColor colour, const QColor& background, double ratio);

} // namespace Style

// An icon with a title and an optional line under it, centred: what a pane shows when it
// has nothing to show.
class EmptyState final : public QWidget {
    Q_OBJECT

public:
    explicit EmptyState(const QString& iconName, const QString& title = QString(),
                        QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setText(const QString& text);
    QString title() const;
    QString text() const;

private:
    QLabel* m_title;
    QLabel* m_text;
};
