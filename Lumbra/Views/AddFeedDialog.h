#pragma once

#include <QDialog>

class Reader;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Asks for a feed's address and the folder to put it in, shows that the server is fetching
// it, and says why when it could not; closes once the feed is subscribed (and selected).
class AddFeedDialog final : public QDialog {
    Q_OBJECT

public:
    explicit AddFeedDialog(Reader& reader, QWidget* parent = nullptr);

    QLineEdit* addressField() const { return m_address; }
    QComboBox* folderChoice() const { return m_folder; }
    QLabel* status() const { return m_status; }
    QProgressBar* busy() const { return m_busy; }
    // The feeds a page named, offered when a page's address was given.
    QComboBox* foundFeeds() const { return m_found; }

    void accept() override;

private:
    void showAdding();

    Reader& m_reader;
    QLineEdit* m_address;
    QComboBox* m_folder;
    QComboBox* m_found;
    QLabel* m_status;
    QProgressBar* m_busy;
    QDialogButtonBox* m_buttons;
    QPushButton* m_add;
};
