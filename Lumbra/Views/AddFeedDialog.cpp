#include "Views/AddFeedDialog.h"

#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/Style.h"
#include "Views/Wording.h"
#include "ui_AddFeedDialog.h"

#include <QPushButton>

AddFeedDialog::AddFeedDialog(Reader& reader, QWidget* parent)
    : QDialog(parent), m_reader(reader), m_ui(std::make_unique<Ui::AddFeedDialog>())
{
    m_ui->setupUi(this);
    m_add = m_ui->buttons->addButton(tr("Add"), QDialogButtonBox::AcceptRole);
    // Enter adds, once the buttons are the dialog's (Cancel would otherwise take it).
    m_ui->buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    m_add->setDefault(true);
    m_ui->form->setRowVisible(m_ui->found, false);
    offerFolders();
    // Qt 6.4 gives screen readers neither a combo box's value nor its changes.
    Accessibility::sayChoices(m_ui->folder);
    Accessibility::sayChoices(m_ui->found);
    follow();
    m_ui->address->setFocus();
}

AddFeedDialog::~AddFeedDialog() = default;

QLineEdit* AddFeedDialog::addressField() const
{
    return m_ui->address;
}

QComboBox* AddFeedDialog::folderChoice() const
{
    return m_ui->folder;
}

QLabel* AddFeedDialog::status() const
{
    return m_ui->status;
}

QProgressBar* AddFeedDialog::busy() const
{
    return m_ui->busy;
}

QComboBox* AddFeedDialog::foundFeeds() const
{
    return m_ui->found;
}

void AddFeedDialog::offerFolders()
{
    m_ui->folder->addItem(tr("Top level"));
    for (const Folder& folder : m_reader.subscriptions().folders())
        m_ui->folder->addItem(folder.name, folder.id);
    // The current folder, or the current feed's, is where a new feed most likely goes.
    const std::optional<Source> source = m_reader.timeline().source();
    std::optional<qint64> folderId;
    if (source && source->kind() == Source::Kind::folder) folderId = source->id();
    if (source && source->kind() == Source::Kind::feed)
        if (const auto feed = m_reader.subscriptions().feed(source->id()))
            folderId = feed->folderId;
    if (folderId) m_ui->folder->setCurrentIndex(std::max(0, m_ui->folder->findData(*folderId)));
}

void AddFeedDialog::follow()
{
    // A new address is asked anew; the feeds found on the last page no longer apply.
    // Only when there are some: each change reaches screen readers, which drop messages
    // once too many wait.
    connect(m_ui->address, &QLineEdit::textEdited, this, [this] {
        if (m_ui->found->count() == 0) return;
        m_ui->found->clear();
        m_ui->form->setRowVisible(m_ui->found, false);
    });
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &AddFeedDialog::accept);
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Organiser& organiser = m_reader.organiser();
    connect(&organiser, &Organiser::addingChanged, this, &AddFeedDialog::showAdding);
    connect(&organiser, &Organiser::added, this, [this] { QDialog::accept(); });
    connect(&organiser, &Organiser::feedsFound, this,
            [this](const QString&, const QList<FoundFeed>& feeds) { offerFound(feeds); });
    connect(&organiser, &Organiser::addFailed, this, &AddFeedDialog::showFailure);
}

// Accepting asks the server; the dialog closes once the server has the feed.
void AddFeedDialog::accept()
{
    m_ui->status->clear();
    m_ui->status->setPalette(QPalette());
    const QVariant chosen = m_ui->folder->currentData();
    const std::optional<qint64> folder =
        chosen.isValid() ? std::optional(chosen.toLongLong()) : std::nullopt;
    if (m_ui->found->count() > 0)
        m_reader.organiser().addFoundFeed(m_ui->found->currentData().toUrl(), folder);
    else
        m_reader.organiser().addFeed(m_ui->address->text(), folder);
}

void AddFeedDialog::showAdding()
{
    const bool adding = m_reader.organiser().adding();
    m_ui->busy->setVisible(adding);
    m_ui->address->setEnabled(!adding);
    m_ui->folder->setEnabled(!adding);
    m_add->setEnabled(!adding);
    if (adding) m_ui->status->setText(tr("The server is fetching the feed…"));
}

void AddFeedDialog::offerFound(const QList<FoundFeed>& feeds)
{
    m_ui->found->clear();
    for (const FoundFeed& feed : feeds) {
        //: A feed a web page names: its title, its kind (RSS or Atom) and its address.
        const QString named = tr("%1 (%2) \u2014 %3");
        m_ui->found->addItem(feed.title.isEmpty()
                                 ? feed.url.toDisplayString() + QStringLiteral(" (") + feed.kind +
                                       u')'
                                 : named.arg(feed.title, feed.kind, feed.url.toDisplayString()),
                             feed.url);
    }
    m_ui->form->setRowVisible(m_ui->found, true);
    m_ui->status->setText(tr("That address is a web page. It names %Ln feeds: choose one "
                             "and press Add.",
                             nullptr, int(feeds.size())));
    Accessibility::say(this, m_ui->status->text());
    m_ui->found->setFocus();
}

void AddFeedDialog::showFailure(const QString& address, const Failure& failure)
{
    Style::makeError(m_ui->status);
    m_ui->status->setText(Wording::subscribeFailure(address, failure));
    // Heard at once, not only when the label is reached: screen readers pass over a name
    // changing away from the focus.
    Accessibility::say(this, m_ui->status->text());
    m_ui->address->setFocus();
    m_ui->address->selectAll();
}
