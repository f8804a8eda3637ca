#pragma once

#include "Reader/Notice.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <optional>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QToolButton;
class Session;

// The banner at the bottom centre that shows the session's message. Something that went
// wrong stays until it is dismissed (its button, or Escape there) or replaced; other news
// is cleared after 4 seconds unless a newer one replaced it, each new text with its own 4
// seconds. Screen readers hear it as an alert; while one is listening, or while the pointer
// rests on the banner, it stays longer. Dismissed from the keyboard, the focus goes back
// where it was.
class MessageView final : public QLabel {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultTimeout{4000};
    // Long enough for a screen reader to finish the message and repeat it on request.
    static constexpr std::chrono::milliseconds listenedTimeout{12000};

    MessageView(Session& session, QWidget* parent,
                std::chrono::milliseconds timeout = defaultTimeout);

    // Places the banner in its parent: centred, 16 px above the bottom edge.
    void reposition();

    // Whether `notice` tells of something that went wrong, and so waits to be dismissed.
    static bool staysUntilDismissed(const Notice& notice);

    // The wait before the shown text goes; stopped while it stays.
    const QTimer& wait() const { return m_timeout; }
    QToolButton* dismissButton() const { return m_dismiss; }
    // Shows the failure's technical cause under its sentence; hidden when there is none.
    QToolButton* detailsButton() const { return m_details; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showMessage();
    void timedOut();
    void startWait();
    void dismiss();
    void showText();
    void fit();
    void giveFocusBack();

    Session& m_session;
    std::optional<Notice> m_shown;
    std::chrono::milliseconds m_wait;
    QTimer m_timeout;
    QGraphicsOpacityEffect* m_opacity;
    QPropertyAnimation* m_fade;
    QPropertyAnimation* m_slide;
    QToolButton* m_dismiss;
    QToolButton* m_details;
    QPointer<QWidget> m_returnFocus;
};
