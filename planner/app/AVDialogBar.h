#pragma once
// The steer point list bar (template 128): the list of the plan's steer points, one row each,
// and the four buttons of the work flow.  It reads the plan through the main frame and passes
// every action to it.

#include "SteerPointList.h"

#include <QWidget>

class QPushButton;
class QTreeWidget;

namespace avilo::planner {

class CMainFrame;

class CAVDialogBar : public QWidget {
    Q_OBJECT
public:
    explicit CAVDialogBar(CMainFrame& frame, QWidget* parent = nullptr);

    /// Rebuilds the list from the plan and restarts the work flow.  Throws xml::ComError when
    /// a steer point's type cannot be determined (no schema).
    void FillList();

    /// The button states, and changing them (the component commands do).
    const WorkflowButtons& Buttons() const noexcept { return m_buttons; }
    void SetButtons(const WorkflowButtons& buttons);

    QTreeWidget& List() const noexcept { return *m_list; }
    QSize sizeHint() const override;

    // Handlers.
    void OnDeleteSteerPoint();
    void OnClickList(int y);
    void OnDblclkList();
    void OnCheckConsistency();
    void OnGenerateFlightScript();
    void OnExecuteFlightScript();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Runs a command of the main frame, showing a COM error that escapes it.
    template <class F> void Guarded(F&& command);

    CMainFrame& m_frame;
    QTreeWidget* m_list;
    QPushButton* m_buttonDelete;
    QPushButton* m_buttonCheck;
    QPushButton* m_buttonGenerate;
    QPushButton* m_buttonExecute;
    WorkflowButtons m_buttons;
    bool m_forwardingRelease = false; ///< a release is being passed on to the list's view
};

} // namespace avilo::planner
