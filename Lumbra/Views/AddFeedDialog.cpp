#include "Views/AddFeedDialog.h"

#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/Style.h"
#include "Views/Wording.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

AddFeedDialog::AddFeedDialog(Reader& reader, QWidget* parent)
    : QDialog(parent), m_reader(reader), m_address(new QLineEdit), m_folder(new QComboBox),
      m_found(new QComboBox), m_status(new QLabel), m_busy(new QProgressBar),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Cancel))
{
    setWindowTitle(tr("Add Feed"));
    m_address->setPlaceholderText(QStringLiteral("https://example.org/feed.xml"));
    // Otherwise Orca reads the example as if it had been typed in.
    m_address->setAccessibleDescription(
        tr("A feed's or a site's address, for example https://example.org/feed.xml"));
    m_folder->addItem(tr("Top level"));
    for (const Folder& folder : reader.subscriptions().folders())
        m_folder->addItem(folder.name, folder.id);
    // The current folder, or the current feed's, is where a new feed most likely goes.
    const std::optional<Source> source = reader.timeline().source();
    std::optional<qint64> folderId;
    if (source && source->kind() == Source::Kind::folder) folderId = source->id();
    if (source && source->kind() == Source::Kind::feed)
        if (const auto feed = reader.subscriptions().feed(source->id())) folderId = feed->folderId;
    if (folderId) m_folder->setCurrentIndex(std::max(0, m_folder->findData(*folderId)));

    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText); // it repeats the address typed
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_busy->setRange(0, 0);
    m_busy->setAccessibleName(tr("Fetching the feed"));
    m_busy->hide();
    m_add = m_buttons->addButton(tr("Add"), QDialogButtonBox::AcceptRole);

    // Qt names a text field after its label, but not a combo box.
    m_folder->setAccessibleName(tr("Folder"));
    m_found->setAccessibleName(tr("Feed"));
    Accessibility::sayChoices(m_folder);
    Accessibility::sayChoices(m_found);
    auto* form = new QFormLayout;
    form->addRow(tr("Address"), m_address);
    form->addRow(tr("Feed"), m_found);
    form->setRowVisible(m_found, false);
    form->addRow(tr("Folder"), m_folder);
    // A new address is asked anew; the feeds found on the last page no longer apply.
    // Only when there are some: each change reaches screen readers, which drop messages
    // once too many wait.
    connect(m_address, &QLineEdit::textEdited, this, [this, form] {
        if (m_found->count() == 0) return;
        m_found->clear();
        form->setRowVisible(m_found, false);
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_busy);
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);
    setMinimumWidth(420);
    // Enter adds, once the buttons are the dialog's (Cancel would otherwise take it).
    m_buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    m_add->setDefault(true);
    m_address->setFocus();

    connect(m_buttons, &QDialogButtonBox::accepted, this, &AddFeedDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Organiser& organiser = reader.organiser();
    connect(&organiser, &Organiser::addingChanged, this, &AddFeedDialog::showAdding);
    connect(&organiser, &Organiser::added, this, [this] { QDialog::accept(); });
    connect(&organiser, &Organiser::feedsFound, this,
            [this, form](const QString&, const QList<FoundFeed>& feeds) {
                m_found->clear();
                for (const FoundFeed& feed : feeds)
                    m_found->addItem(feed.title.isEmpty()
                                         ? feed.url.toDisplayString()
                                         : feed.title + QStringLiteral(" \u2014 ") +
                                               feed.url.toDisplayString(),
                                     feed.url);
                form->setRowVisible(m_found, true);
                m_status->setText(tr("That address is a web page. It names %Ln feeds: choose one "
                                     "and press Add.",
                                     nullptr, int(feeds.size())));
                Accessibility::say(this, m_status->text());
                m_found->setFocus();
            });
    connect(&organiser, &Organiser::addFailed, this,
            [this](const QString& address, const Failure& failure) {
                Style::makeError(m_status);
                m_status->setText(Wording::subscribeFailure(address, failure));
                // Heard at once, not only when the label is reached: screen readers pass
                // over a name changing away from the focus.
                Accessibility::say(this, m_status->text());
                m_address->setFocus();
                m_address->selectAll();
            });
}

// Accepting asks the server; the dialog closes once the server has the feed.
void AddFeedDialog::accept()
{
    m_status->clear();
    m_status->setPalette(QPalette());
    const QVariant folder = m_folder->currentData();
    const QString address =
        m_found->count() > 0 ? m_found->currentData().toUrl().toString() : m_address->text();
    m_reader.organiser().addFeed(address, folder.isValid() ? std::optional(folder.toLongLong())
                                                           : std::nullopt);
}

void AddFeedDialog::showAdding()
{
    const bool adding = m_reader.organiser().adding();
    m_busy->setVisible(adding);
    m_address->setEnabled(!adding);
    m_folder->setEnabled(!adding);
    m_add->setEnabled(!adding);
    if (adding) m_status->setText(tr("The server is fetching the feed…"));
}
