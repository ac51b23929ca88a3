#pragma once
// The airport steer point dialog ("Airport", template 150): the airports around the steer point
// with the nearest selected, the runway directions of the chosen airport, the tasks offered at
// an airport in the phase.  Finish puts the steer point on the chosen runway threshold.

#include "AviloDialog.h"
#include "SteerPointEditing.h"

#include <xml/Dom.h>

class QComboBox;
class QLineEdit;
class QListWidget;

namespace avilo::planner {

class CSPAirportDlg : public CAviloDialog, public AirportValues {
    Q_OBJECT
public:
    /// `airports`: the main frame's airport database.
    explicit CSPAirportDlg(xml::DocumentPtr airports, QWidget* parent = nullptr);

    /// Selection change of the Name list: the ICAO code and the runway entries of the airport.
    void OnSelchangeName();

protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;

private:
    bool FillAirports();

    xml::DocumentPtr m_pAirports;
    QComboBox* m_comboName;
    QLineEdit* m_editICAO;
    QComboBox* m_comboRunway;
    QListWidget* m_listTasks;
};

} // namespace avilo::planner
