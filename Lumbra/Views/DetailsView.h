#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

// A failure's technical cause folded away under "Details": the sentence above it is for
// the person reading, this for whoever runs the server. Hidden while there is none.
class DetailsView final : public QWidget {
    Q_OBJECT

public:
    explicit DetailsView(QWidget* parent = nullptr);

    // Folds the view again; a new failure starts with its sentence alone.
    void setDetails(const QString& details);
    QString details() const;
    QToolButton* toggle() const { return m_toggle; }
    QLabel* text() const { return m_text; }

private:
    void unfold(bool open);

    QToolButton* m_toggle;
    QLabel* m_text;
};
