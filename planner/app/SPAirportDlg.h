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

    /// Opens on the stored airport (`m_strName`) and runway (`m_strRunway`, the threshold
    /// `m_strRwyLongitude`/`m_strRwyLatitude` telling apart entries of the same name) instead of
    /// the nearest airport's first runway, when they are among the entries.
    bool m_bSelectStored = false;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;

private:
    bool FillAirports();
    void SelectStoredRunway();
    /// The entry of the Name list whose text is the typed name (case ignored), or -1.
    int TypedAirportIndex() const;

    xml::DocumentPtr m_pAirports;
    QComboBox* m_comboName;
    QLineEdit* m_editICAO;
    QComboBox* m_comboRunway;
    QListWidget* m_listTasks;
};

} // namespace avilo::planner
