#pragma once

#include <QDialog>
#include <memory>

struct Failure;
struct FoundFeed;
class Reader;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
namespace Ui {
class AddFeedDialog;
}

// Asks for a feed's address and the folder to put it in, shows that the server is fetching
// it, and says why when it could not; closes once the feed is subscribed (and selected).
class AddFeedDialog final : public QDialog {
    Q_OBJECT

public:
    explicit AddFeedDialog(Reader& reader, QWidget* parent = nullptr);
    ~AddFeedDialog() override;

    QLineEdit* addressField() const;
    QComboBox* folderChoice() const;
    QLabel* status() const;
    QProgressBar* busy() const;
    // The feeds a page named, offered when a page's address was given.
    QComboBox* foundFeeds() const;

    void accept() override;

private:
    // The folders, with the one a new feed most likely goes to chosen.
    void offerFolders();
    void follow();
    void showAdding();
    void offerFound(const QList<FoundFeed>& feeds);
    void showFailure(const QString& address, const Failure& failure);

    Reader& m_reader;
    std::unique_ptr<Ui::AddFeedDialog> m_ui;
    QPushButton* m_add;
};
