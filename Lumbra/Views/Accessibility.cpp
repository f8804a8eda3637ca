#include "Views/Accessibility.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QStringList>

namespace {

constexpr char alertProperty[] = "lumbraAlert";

class AlertAccessible final : public QAccessibleWidget {
public:
    explicit AlertAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Notification)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? widget()->accessibleName()
                                         : QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* alertFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(alertProperty).toBool()) return new AlertAccessible(widget);
    return nullptr;
}

// Says a combo box's choice as it gets the focus, once its name has been said.
class ChoiceOnFocus final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            auto* box = static_cast<QComboBox*>(watched);
            QMetaObject::invokeMethod(
                box, [box] { Accessibility::say(box, box->currentText()); }, Qt::QueuedConnection);
        }
        return false;
    }
};

// Makes `widget` an alert: assistive technology reads it out when it appears. Its text is
// its accessible name.
void markAsAlert(QWidget* widget)
{
    static const bool installed = [] {
        QAccessible::installFactory(alertFactory);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(alertProperty, true);
}

} // namespace

void Accessibility::say(QWidget* window, const QString& text)
{
    // The main window speaks for its dialogs too: a dialog closing takes fewer objects
    // with it, and Orca, flooded by a window's objects going, drops what it is told.
    window = window->window();
    while (window->parentWidget())
        window = window->parentWidget()->window();
    // Empty, unfocusable children: nothing to see, something to hear. In a status bar of
    // their own, Orca says them as they are; anywhere else, after the word "notification".
    // Taken in turn: Orca reads a voice's name when it gets to its showing, and a second
    // text at once (a star the server then refuses) must not take the first one's place.
    constexpr int voices = 2;
    auto* bar =
        window->findChild<QStatusBar*>(QStringLiteral("lumbraVoices"), Qt::FindDirectChildrenOnly);
    if (!bar) {
        bar = new QStatusBar(window);
        bar->setObjectName(QStringLiteral("lumbraVoices"));
        bar->setSizeGripEnabled(false);
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setAttribute(Qt::WA_TransparentForMouseEvents);
        bar->setGeometry(0, 0, 0, 0);
        bar->show();
        for (int made = 0; made < voices; ++made) {
            auto* voice = new QWidget(bar);
            voice->setObjectName(QStringLiteral("lumbraVoice"));
            voice->setFocusPolicy(Qt::NoFocus);
            voice->setGeometry(0, 0, 0, 0);
            voice->hide();
            markAsAlert(voice);
        }
    }
    const int turn = bar->property("lumbraTurn").toInt();
    bar->setProperty("lumbraTurn", (turn + 1) % voices);
    auto* voice =
        bar->findChildren<QWidget*>(QStringLiteral("lumbraVoice"), Qt::FindDirectChildrenOnly)
            .value(turn);
    if (!voice) return;
    // Each showing is said once; hidden, it is not.
    voice->hide();
    voice->setAccessibleName(text);
    voice->show();
}

void Accessibility::sayChoices(QComboBox* box)
{
    box->installEventFilter(new ChoiceOnFocus(box));
    QObject::connect(box, &QComboBox::currentTextChanged, box, [box](const QString& text) {
        if (box->hasFocus()) say(box, text);
    });
}

void Accessibility::claimEntries(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        QAccessibleInterface* entry = QAccessible::queryAccessibleInterface(action);
        if (!entry) continue;
        QAccessibleInterface* owner = entry->isValid() ? entry->parent() : nullptr;
        // Dropped, the entry is made again for this menu when a screen reader asks.
        if (!owner || owner->object() != menu)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(entry));
    }
}

void Accessibility::openOnFirstEntry(QMenu* menu)
{
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        // Once it shows: entries of a hidden menu cannot be current.
        QMetaObject::invokeMethod(
            menu,
            [menu] {
                if (menu->activeAction()) return;
                const QList<QAction*> actions = menu->actions();
                const auto first = std::find_if(actions.cbegin(), actions.cend(), [](QAction* a) {
                    return a->isVisible() && a->isEnabled() && !a->isSeparator();
                });
                if (first != actions.cend()) menu->setActiveAction(*first);
            },
            Qt::QueuedConnection);
    });
}
