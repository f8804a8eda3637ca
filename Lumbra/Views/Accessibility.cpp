#include "Views/Accessibility.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
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
        if (kind != QAccessible::Name) return QAccessibleWidget::text(kind);
        if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
        if (const auto* label = qobject_cast<const QLabel*>(widget())) return label->text();
        QStringList texts;
        for (const QLabel* label : widget()->findChildren<QLabel*>())
            if (!label->isHidden() && !label->text().isEmpty()) texts << label->text();
        return texts.join(QStringLiteral(". "));
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

} // namespace

void Accessibility::markAsAlert(QWidget* widget)
{
    static const bool installed = [] {
        QAccessible::installFactory(alertFactory);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(alertProperty, true);
}

void Accessibility::announce(QWidget* widget)
{
    if (!widget->isVisible()) return; // showing it announces it
    QAccessibleEvent named(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    // Screen readers speak an alert when it starts showing; a new text is said the same way.
    QAccessibleEvent shown(widget, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

void Accessibility::say(QWidget* window, const QString& text)
{
    window = window->window();
    // An empty, unfocusable child: nothing to see, something to hear.
    auto* voice =
        window->findChild<QWidget*>(QStringLiteral("lumbraVoice"), Qt::FindDirectChildrenOnly);
    if (!voice) {
        voice = new QWidget(window);
        voice->setObjectName(QStringLiteral("lumbraVoice"));
        voice->setFocusPolicy(Qt::NoFocus);
        voice->setAttribute(Qt::WA_TransparentForMouseEvents);
        voice->setGeometry(0, 0, 0, 0);
        markAsAlert(voice);
    }
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
