#include "Views/DetailsView.h"

#include "Views/Style.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

DetailsView::DetailsView(QWidget* parent)
    : QWidget(parent), m_toggle(new QToolButton), m_text(new QLabel)
{
    m_toggle->setText(tr("Details"));
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setFocusPolicy(Qt::StrongFocus);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFocusPolicy(Qt::StrongFocus);
    Style::makeSecondary(m_text);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_toggle, 0, Qt::AlignLeft);
    layout->addWidget(m_text);
    connect(m_toggle, &QToolButton::toggled, this, &DetailsView::unfold);
    unfold(false);
    hide();
}

void DetailsView::setDetails(const QString& details)
{
    m_text->setText(details);
    m_toggle->setChecked(false);
    setVisible(!details.isEmpty());
}

QString DetailsView::details() const
{
    return m_text->text();
}

void DetailsView::unfold(bool open)
{
    m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    m_text->setVisible(open);
}
