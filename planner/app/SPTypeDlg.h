#pragma once
// The steer point type dialog ("Steer Point", template 148): position, type, time over the steer
// point and flight phase.  The caller presets the members and reads them after OK ("Next >").

#include "AviloDialog.h"
#include "SteerPointEditing.h"

#include <xml/Schema.h>

class QComboBox;
class QLineEdit;

namespace avilo::planner {

class CSPTypeDlg : public CAviloDialog, public TypeValues {
    Q_OBJECT
public:
    /// `schemas`: the main frame's schema cache (may be null when it could not be created; the
    /// type list then raises xml::ComError from DoModal).
    explicit CSPTypeDlg(const xml::SchemaCache* schemas, QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;

private:
    const xml::SchemaCache* m_pSchemas;
    QLineEdit* m_editLongitude;
    QLineEdit* m_editLatitude;
    QComboBox* m_comboType;
    QLineEdit* m_editTOS;
    QComboBox* m_comboPhase;
};

} // namespace avilo::planner
