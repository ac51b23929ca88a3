#include "SPTypeDlg.h"

#include "DialogModels.h"
#include "Resources.h"

#include <ui/Dialogs.h>

#include <QComboBox>
#include <QLineEdit>

namespace avilo::planner {

CSPTypeDlg::CSPTypeDlg(const xml::SchemaCache* schemas, QWidget* parent)
    : CAviloDialog(res::IDD_SPTYPE, "Steer Point", 148, 125, parent), m_pSchemas(schemas) {
    AddLabel("Longitude", 7, 10, 42, 9);
    m_editLongitude = AddControl<QLineEdit>(1017, 51, 7, 66, 12);
    AddLabel("° east", 120, 10, 24, 9);
    AddLabel("Latitude", 7, 22, 42, 9);
    m_editLatitude = AddControl<QLineEdit>(1016, 51, 19, 66, 12);
    AddLabel("° north", 120, 22, 24, 9);
    AddLabel("Type", 7, 44, 31, 9);
    m_comboType = AddControl<QComboBox>(1033, 51, 42, 90, 12);
    AddLabel("TOS (hh:mm)", 7, 68, 42, 9);
    m_editTOS = AddControl<QLineEdit>(1015, 51, 65, 90, 12);
    AddLabel("Flight phase", 7, 81, 42, 9);
    m_comboPhase = AddControl<QComboBox>(1034, 51, 78, 90, 12);
    AddButton(IDCANCEL, "Cancel", 44, 105, 46, 13);
    AddButton(IDOK, "Next >", 95, 105, 46, 13, true);
}

bool CSPTypeDlg::OnInitDialog() {
    CAviloDialog::OnInitDialog();
    m_comboType->clear();
    for (const std::string& type : SortedEntries(SteerPointTypeNames(m_pSchemas)))
        m_comboType->addItem(QString::fromStdString(type));
    m_comboType->setCurrentIndex(m_comboType->findText(QString::fromStdString(m_strType)));
    m_comboPhase->clear();
    for (const std::string& phase : FlightPhaseNames(m_pSchemas))
        m_comboPhase->addItem(QString::fromStdString(phase));
    m_comboPhase->setCurrentIndex(m_comboPhase->findText(QString::fromStdString(m_strPhase)));
    return true;
}

void CSPTypeDlg::DoDataExchange(bool save) {
    if (save) {
        m_strTOS = m_editTOS->text().toStdString();
        m_strLongitude = m_editLongitude->text().toStdString();
        m_strLatitude = m_editLatitude->text().toStdString();
    } else {
        m_editTOS->setText(QString::fromStdString(m_strTOS));
        m_editLongitude->setText(QString::fromStdString(m_strLongitude));
        m_editLatitude->setText(QString::fromStdString(m_strLatitude));
    }
}

void CSPTypeDlg::OnOK() {
    // Without a type or a phase the steer point cannot be described: say so and stay open.
    if (m_comboType->currentIndex() < 0 || m_comboPhase->currentIndex() < 0) {
        const char* missing = m_comboType->currentIndex() < 0 ? "Please select a steer point type."
                                                              : "Please select a flight phase.";
        ui::MessageBox(this, missing, "Avilo", ui::Icon::Exclamation);
        return;
    }
    // A position, or a time, that is not one stays out of the plan: name the field and stay.
    TypeValues typed;
    typed.m_strLongitude = m_editLongitude->text().toStdString();
    typed.m_strLatitude = m_editLatitude->text().toStdString();
    typed.m_strTOS = m_editTOS->text().toStdString();
    if (const std::string problem = TypeValuesProblem(typed); !problem.empty()) {
        ui::MessageBox(this, problem, "Avilo", ui::Icon::Exclamation);
        return;
    }
    m_strType = m_comboType->currentText().toStdString();
    m_strPhase = m_comboPhase->currentText().toStdString();
    CAviloDialog::OnOK();
}

} // namespace avilo::planner
