#include "AviloDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace avilo::planner {

DialogUnits::DialogUnits(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    m_baseX = std::max(1, metrics.averageCharWidth());
    m_baseY = std::max(1, metrics.height());
}

CAviloDialog::CAviloDialog(int templateId, const QString& caption, int widthDu, int heightDu,
                           QWidget* parent)
    : QDialog(parent), m_du(*this) {
    setObjectName(QString::number(templateId));
    setWindowTitle(caption);
    setFixedSize(m_du.x(widthDu), m_du.y(heightDu));
    setModal(true);
}

int CAviloDialog::DoModal() {
    OnInitDialog();
    const int result = exec();
    return result == IDOK ? IDOK : IDCANCEL;
}

bool CAviloDialog::OnInitDialog() {
    DoDataExchange(false);
    return true;
}

void CAviloDialog::DoDataExchange(bool /*save*/) {}

void CAviloDialog::OnOK() {
    DoDataExchange(true);
    done(IDOK);
}

void CAviloDialog::OnCancel() { done(IDCANCEL); }

QLabel* CAviloDialog::AddLabel(const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, this);
    label->setGeometry(m_du.rect(x, y, w, h + 2));
    return label;
}

QPushButton* CAviloDialog::AddButton(int id, const QString& text, int x, int y, int w, int h,
                                     bool isDefault) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::number(id));
    button->setGeometry(m_du.rect(x, y, w, h));
    button->setDefault(isDefault);
    button->setAutoDefault(isDefault);
    if (id == IDOK)
        connect(button, &QPushButton::clicked, this, [this] { OnOK(); });
    else if (id == IDCANCEL)
        connect(button, &QPushButton::clicked, this, [this] { OnCancel(); });
    return button;
}

} // namespace avilo::planner
