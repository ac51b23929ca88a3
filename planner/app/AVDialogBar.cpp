#include "AVDialogBar.h"

#include "AviloDialog.h"
#include "ComErrorBox.h"
#include "MainFrm.h"
#include "Resources.h"

#include <algorithm>

#include <ui/Dialogs.h>
#include <xml/ComError.h>

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace avilo::planner {
namespace {

constexpr int kWidthDu = 486, kHeightDu = 71;
constexpr int kButtonTopDu = 58, kButtonWidthDu = 85, kButtonHeightDu = 12;

/// Index of the first selected row in list order, or -1.
int FirstSelectedRow(const QTreeWidget& list) {
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.topLevelItem(i)->isSelected())
            return i;
    return -1;
}

} // namespace

CAVDialogBar::CAVDialogBar(CMainFrame& frame, QWidget* parent) : QWidget(parent), m_frame(frame) {
    setObjectName(res::IdName(res::IDD_DIALOGBAR));
    const DialogUnits du(*this);

    m_list = new QTreeWidget(this);
    m_list->setObjectName("1000");
    m_list->setGeometry(du.rect(0, 0, kWidthDu, 57));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(static_cast<int>(kListColumns.size()));
    QTreeWidgetItem* header = m_list->headerItem();
    for (int c = 0; c < static_cast<int>(kListColumns.size()); ++c) {
        const ListColumn& column = kListColumns[c];
        header->setText(c, column.heading);
        header->setTextAlignment(c, (column.alignRight ? Qt::AlignRight : Qt::AlignLeft) |
                                        Qt::AlignVCenter);
        // Wide enough for its heading in this platform's font ("Time over SP" is the longest).
        const int headingWidth =
            m_list->header()->fontMetrics().horizontalAdvance(QString(column.heading)) + 16;
        m_list->setColumnWidth(c, std::max(column.width, headingWidth));
    }
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionsMovable(false);
    m_list->viewport()->installEventFilter(this);
    // A steer point chosen in the list comes into view in every chart window that shows it.
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            m_frame.ShowSteerPointInCharts(m_list->indexOfTopLevelItem(item));
    });

    // The layout was made for a narrower font than this platform's: the buttons get wide
    // enough for the longest caption, all of them alike, so that no caption is cut off.
    int buttonWidth = du.x(kButtonWidthDu);
    for (const char* text : {"Delete Steering Point", "Check Consistency", "Generate FlightScript",
                             "Execute FlightScript"})
        buttonWidth = std::max(buttonWidth, fontMetrics().horizontalAdvance(text) + 12);
    auto makeButton = [&](int id, const char* text, int x) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(res::IdName(id));
        QRect rect = du.rect(x, kButtonTopDu, kButtonWidthDu, kButtonHeightDu);
        rect.setWidth(buttonWidth);
        button->setGeometry(rect);
        button->setEnabled(false);
        button->setAutoDefault(false);
        return button;
    };
    m_buttonDelete = makeButton(1001, "Delete Steering Point", 0);
    m_buttonCheck = makeButton(1003, "Check Consistency", 227);
    m_buttonGenerate = makeButton(1002, "Generate FlightScript", 313);
    m_buttonExecute = makeButton(1005, "Execute FlightScript", 399);
    connect(m_buttonDelete, &QPushButton::clicked, this, [this] { OnDeleteSteerPoint(); });
    connect(m_buttonCheck, &QPushButton::clicked, this, [this] { OnCheckConsistency(); });
    connect(m_buttonGenerate, &QPushButton::clicked, this, [this] { OnGenerateFlightScript(); });
    connect(m_buttonExecute, &QPushButton::clicked, this, [this] { OnExecuteFlightScript(); });

    setMinimumHeight(du.y(kHeightDu));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize CAVDialogBar::sizeHint() const {
    const DialogUnits du(*this);
    return {du.x(kWidthDu), du.y(kHeightDu)};
}

void CAVDialogBar::SetButtons(const WorkflowButtons& buttons) {
    m_buttons = buttons;
    m_buttonDelete->setEnabled(buttons.deleteSteerPoint);
    m_buttonCheck->setEnabled(buttons.checkConsistency);
    m_buttonGenerate->setEnabled(buttons.generateScript);
    m_buttonExecute->setEnabled(buttons.executeScript);
}

void CAVDialogBar::FillList() {
    m_list->clear();
    const std::vector<ListRow> rows = SteerPointRows(m_frame.m_pSchemas.get(), m_frame.m_pRoot);
    for (const ListRow& row : rows) {
        auto* item = new QTreeWidgetItem(m_list);
        for (int c = 0; c < static_cast<int>(row.size()); ++c) {
            item->setText(c, QString::fromStdString(row[c]));
            item->setTextAlignment(c,
                                   (kListColumns[c].alignRight ? Qt::AlignRight : Qt::AlignLeft) |
                                       Qt::AlignVCenter);
        }
    }
    WorkflowButtons buttons = m_buttons;
    buttons.ListRefilled(rows.size());
    SetButtons(buttons);
}

template <class F> void CAVDialogBar::Guarded(F&& command) {
    try {
        command();
    } catch (const xml::ComError& e) {
        ShowComError(this, e);
    }
}

void CAVDialogBar::OnDeleteSteerPoint() {
    Guarded([this] {
        // Delete the list row first, so that the indices of the remaining rows stay equal to
        // the positions of their steer points in the plan.
        for (int row = FirstSelectedRow(*m_list); row >= 0; row = FirstSelectedRow(*m_list)) {
            delete m_list->takeTopLevelItem(row);
            m_frame.DeleteSteerPointAt(row);
        }
        FillList();
    });
    WorkflowButtons buttons = m_buttons;
    buttons.SteerPointsDeleted(static_cast<std::size_t>(m_list->topLevelItemCount()));
    SetButtons(buttons);
}

void CAVDialogBar::OnClickList(int y) {
    // The hit test runs at x = 2, so that a click anywhere along a row finds that row.
    if (QTreeWidgetItem* item = m_list->itemAt(2, y)) {
        item->setSelected(true);
        m_list->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    }
    WorkflowButtons buttons = m_buttons;
    buttons.ListClicked(!m_list->selectedItems().isEmpty());
    SetButtons(buttons);
}

void CAVDialogBar::OnDblclkList() {
    const int row = FirstSelectedRow(*m_list);
    if (row >= 0)
        Guarded([&] { m_frame.EditSteerPointAt(row); });
}

void CAVDialogBar::OnCheckConsistency() {
    m_frame.RunConsistencyCheck();
}
void CAVDialogBar::OnGenerateFlightScript() {
    m_frame.RunScriptGeneration();
}
void CAVDialogBar::OnExecuteFlightScript() {
    m_frame.RunScriptExecution();
}

bool CAVDialogBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease && !m_forwardingRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                // The click is handled after the view has finished with it (the view may
                // clear the selection on release), as a list notifies its owner after the fact.
                m_forwardingRelease = true;
                QMouseEvent copy(mouse->type(), mouse->position(), mouse->scenePosition(),
                                 mouse->globalPosition(), mouse->button(), mouse->buttons(),
                                 mouse->modifiers(), mouse->pointingDevice());
                copy.setTimestamp(mouse->timestamp());
                QCoreApplication::sendEvent(watched, &copy);
                m_forwardingRelease = false;
                OnClickList(mouse->position().toPoint().y());
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            // The dialogs of the edit replace the rows; the view must not see this event after.
            OnDblclkList();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CAVDialogBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int cx = width();
    m_list->setGeometry(m_list->x(), m_list->y(), cx, m_list->height());
    const int w = m_buttonExecute->width();
    const int t = m_buttonExecute->y();
    m_buttonExecute->move(cx - w, t);
    m_buttonGenerate->move(cx - 2 * w, t);
    m_buttonCheck->move(cx - 3 * w, t);
}

} // namespace avilo::planner
