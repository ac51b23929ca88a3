#pragma once
// The GPS steer point dialog ("GPS Coordinate", template 149): airspeed, heading, altitude as
// text, and the tasks the generation database offers at a GPS steer point in the phase.

#include "AviloDialog.h"
#include "SteerPointEditing.h"

class QLineEdit;
class QListWidget;

namespace avilo::planner {

/// Fills a multiple-selection task list with `tasks` (sorted) and selects those named in
/// `preselected`.
void FillTaskList(QListWidget& list, const std::vector<std::string>& tasks,
                  const std::vector<std::string>& preselected);
/// The texts of the selected entries of a task list, in list order.
std::vector<std::string> SelectedTasks(const QListWidget& list);
/// Fills `list` with the tasks of `phase` offered at `steerPointType`, reporting a database
/// that cannot be read and COM errors in message boxes with the stop icon.  False when the
/// database could not be read.
bool LoadTaskList(QWidget* parent, QListWidget& list, const std::string& phase,
                  const std::string& steerPointType, const std::vector<std::string>& preselected);

class CSPGPSDlg : public CAviloDialog, public GPSValues {
    Q_OBJECT
public:
    explicit CSPGPSDlg(QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;

private:
    QLineEdit* m_editAirspeed;
    QLineEdit* m_editHeading;
    QLineEdit* m_editAltitude;
    QListWidget* m_listTasks;
};

} // namespace avilo::planner
