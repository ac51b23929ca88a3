#include "SPGPSDlg.h"

#include "ComErrorBox.h"
#include "DialogModels.h"
#include "Resources.h"

#include <avilo/GenerationDb.h>
#include <ui/Dialogs.h>

#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

namespace avilo::planner {

void FillTaskList(QListWidget& list, const std::vector<std::string>& tasks,
                  const std::vector<std::string>& preselected) {
    for (const std::string& task : SortedEntries(tasks)) {
        auto* item = new QListWidgetItem(QString::fromStdString(task), &list);
        item->setSelected(std::find(preselected.begin(), preselected.end(), task) !=
                          preselected.end());
    }
}

std::vector<std::string> SelectedTasks(const QListWidget& list) {
    std::vector<std::string> tasks;
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->isSelected())
            tasks.push_back(list.item(i)->text().toStdString());
    return tasks;
}

bool LoadTaskList(QWidget* parent, QListWidget& list, const std::string& phase,
                  const std::string& steerPointType, const std::vector<std::string>& preselected) {
    const TaskChoices choices =
        LoadTaskChoices(gendb::kGenerationDatabaseFile, phase, steerPointType);
    if (choices.parseError) {
        ui::MessageBox(parent, GenerationDbParseErrorMessage(*choices.parseError), "Avilo",
                       ui::Icon::Error);
        return false;
    }
    FillTaskList(list, choices.tasks, preselected);
    if (choices.comError)
        ShowComError(parent, *choices.comError);
    return true;
}

CSPGPSDlg::CSPGPSDlg(QWidget* parent)
    : CAviloDialog(res::IDD_SPGPS, "GPS Coordinate", 148, 126, parent) {
    AddLabel("Airspeed", 7, 10, 42, 9);
    m_editAirspeed = AddControl<QLineEdit>(1032, 51, 7, 66, 13);
    AddLabel("kt", 120, 10, 24, 9);
    AddLabel("Heading", 7, 23, 42, 9);
    m_editHeading = AddControl<QLineEdit>(1028, 51, 20, 66, 12);
    AddLabel("° true", 120, 23, 24, 9);
    AddLabel("Altitude", 7, 36, 42, 9);
    m_editAltitude = AddControl<QLineEdit>(1029, 51, 33, 66, 12);
    AddLabel("ft", 120, 36, 24, 9);
    AddLabel("Tasks to execute", 7, 49, 60, 9);
    m_listTasks = AddControl<QListWidget>(1040, 7, 58, 134, 32);
    m_listTasks->setSelectionMode(QAbstractItemView::MultiSelection);
    AddButton(IDCANCEL, "Cancel", 42, 106, 46, 13);
    AddButton(IDOK, "Finish", 95, 106, 46, 13, true);
}

bool CSPGPSDlg::OnInitDialog() {
    CAviloDialog::OnInitDialog();
    m_listTasks->clear();
    return LoadTaskList(this, *m_listTasks, m_strPhase, kTypeGPS, m_lstTasks);
}

void CSPGPSDlg::DoDataExchange(bool save) {
    if (save) {
        m_strAirspeed = m_editAirspeed->text().toStdString();
        m_strAltitude = m_editAltitude->text().toStdString();
        m_strHeading = m_editHeading->text().toStdString();
    } else {
        m_editAirspeed->setText(QString::fromStdString(m_strAirspeed));
        m_editAltitude->setText(QString::fromStdString(m_strAltitude));
        m_editHeading->setText(QString::fromStdString(m_strHeading));
    }
}

void CSPGPSDlg::OnOK() {
    GPSValues typed;
    typed.m_strAirspeed = m_editAirspeed->text().toStdString();
    typed.m_strHeading = m_editHeading->text().toStdString();
    typed.m_strAltitude = m_editAltitude->text().toStdString();
    if (const std::string problem = GPSValuesProblem(typed); !problem.empty()) {
        ui::MessageBox(this, problem, "Avilo", ui::Icon::Exclamation);
        return;
    }
    m_lstTasks = SelectedTasks(*m_listTasks);
    CAviloDialog::OnOK();
}

} // namespace avilo::planner
