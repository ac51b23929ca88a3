#include "AviloDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace avilo::planner {

DialogUnits::DialogUnits(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    // As dialog base units are measured: the mean advance of the 52 letters, rounded up, so
    // that texts laid out for the template's font fit in this platform's (wider) font.
    const int letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = std::max({1, metrics.averageCharWidth(), (letters + 51) / 52});
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
    // Placed over its owner before the initialisation, so that a message box raised there is
    // centred on the planner rather than on a window not yet placed at the screen's corner.
    if (QWidget* owner = parentWidget())
        move(owner->window()->frameGeometry().center() - rect().center());
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

void CAviloDialog::OnCancel() {
    done(IDCANCEL);
}

QLabel* CAviloDialog::AddLabel(const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, this);
    QRect rect = m_du.rect(x, y, w, h + 2);
    // The layouts were made for a narrower font than this platform's: a label may grow to the
    // right (within the dialog) so that its text is not cut off.
    const int needed = label->fontMetrics().horizontalAdvance(text) + 2;
    if (needed > rect.width())
        rect.setWidth(std::min(needed, width() - rect.x()));
    label->setGeometry(rect);
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
