#include "SPAirportDlg.h"

#include "ComErrorBox.h"
#include "DialogModels.h"
#include "Resources.h"
#include "SPGPSDlg.h"

#include <avilo/AirportDb.h>
#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>
#include <ui/Dialogs.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

#include <string>
#include <vector>

namespace avilo::planner {
namespace {

void ShowStop(QWidget* parent, const std::string& text) {
    ui::MessageBox(parent, text, "Avilo", ui::Icon::Error);
}

// One message box for the warnings about a broken database (airports left out, runway numbers
// that are not numbers); a database with many broken records still gives a box that fits on the
// screen.
void ShowWarnings(QWidget* parent, const std::vector<std::string>& warnings) {
    if (warnings.empty())
        return;
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < warnings.size() && i < kShown; ++i)
        text += (i == 0 ? "" : "\r\n") + warnings[i];
    if (warnings.size() > kShown)
        text += "\r\n... and " + std::to_string(warnings.size() - kShown) + " more.";
    ui::MessageBox(parent, text, "Avilo", ui::Icon::Exclamation);
}

const xml::DocumentPtr& Database(const xml::DocumentPtr& airports) {
    if (!airports) // the airport database could not be created at start-up
        throw xml::ComError(xml::hr::E_POINTER_);
    return airports;
}

} // namespace

CSPAirportDlg::CSPAirportDlg(xml::DocumentPtr airports, QWidget* parent)
    : CAviloDialog(res::IDD_SPAIRPORT, "Airport", 148, 140, parent),
      m_pAirports(std::move(airports)) {
    AddLabel("Name", 7, 10, 42, 9);
    m_comboName = AddControl<QComboBox>(1026, 51, 7, 90, 12);
    m_comboName->setEditable(true);
    m_comboName->setInsertPolicy(QComboBox::NoInsert);
    AddLabel("ICAO", 7, 23, 42, 9);
    m_editICAO = AddControl<QLineEdit>(1027, 51, 20, 90, 12);
    AddLabel("Runway", 7, 42, 42, 9);
    m_comboRunway = AddControl<QComboBox>(1030, 51, 40, 90, 12);
    AddLabel("Tasks to execute", 7, 60, 60, 9);
    m_listTasks = AddControl<QListWidget>(1040, 7, 71, 134, 32);
    m_listTasks->setSelectionMode(QAbstractItemView::MultiSelection);
    AddButton(IDCANCEL, "Cancel", 44, 120, 46, 13);
    AddButton(IDOK, "Finish", 95, 120, 46, 13, true);
    connect(m_comboName, &QComboBox::currentIndexChanged, this, [this] { OnSelchangeName(); });
    // A typed name takes effect as soon as it names an airport of the list: the ICAO code and
    // the runways follow while typing and on Enter.
    const auto followTypedName = [this] {
        const int index = TypedAirportIndex();
        if (index >= 0 && index != m_comboName->currentIndex())
            m_comboName->setCurrentIndex(index);
    };
    connect(m_comboName->lineEdit(), &QLineEdit::textEdited, this, followTypedName);
    connect(m_comboName->lineEdit(), &QLineEdit::editingFinished, this, followTypedName);
}

int CSPAirportDlg::TypedAirportIndex() const {
    return m_comboName->findText(m_comboName->currentText().trimmed(), Qt::MatchFixedString);
}

bool CSPAirportDlg::OnInitDialog() {
    CAviloDialog::OnInitDialog();
    m_listTasks->clear();
    if (!LoadTaskList(this, *m_listTasks, m_strPhase, kTypeAirport, m_lstTasks))
        return false;
    return FillAirports();
}

bool CSPAirportDlg::FillAirports() {
    {
        const QSignalBlocker blocker(m_comboName);
        m_comboName->clear();
    }
    try {
        // Airports without a name, ICAO code or position are left out with a warning, so that
        // one broken record does not stop the lookup.
        std::vector<std::string> skipped;
        const xml::NodeList airports = airports::UsableAirports(
            airports::AirportsNear(Database(m_pAirports), m_dLongitude, m_dLatitude), skipped);
        ShowWarnings(this, skipped);
        if (airports.length() == 0) {
            // The database is loaded at start-up without a word: a missing or broken file is
            // reported here, where it is first needed, rather than as an empty neighbourhood.
            const std::string problem =
                airports::DatabaseProblem(m_pAirports, kAirportDatabaseFile);
            ShowStop(this, problem.empty() ? "There is no airport in the neighborhood!" : problem);
            return false;
        }
        std::vector<std::string> names;
        for (const xml::Node& airport : airports)
            names.push_back(airport.getAttribute("name"));
        {
            const QSignalBlocker blocker(m_comboName);
            for (const std::string& name : SortedEntries(std::move(names)))
                m_comboName->addItem(QString::fromStdString(name));
            const xml::Node nearest = airports::NearestAirport(airports, m_dLongitude, m_dLatitude);
            int index = 0;
            if (!nearest.empty())
                index = std::max(
                    0, m_comboName->findText(QString::fromStdString(nearest.getAttribute("name")),
                                             Qt::MatchExactly | Qt::MatchCaseSensitive));
            if (m_bSelectStored) {
                const int stored = m_comboName->findText(QString::fromStdString(m_strName),
                                                         Qt::MatchExactly | Qt::MatchCaseSensitive);
                if (stored >= 0)
                    index = stored;
            }
            m_comboName->setCurrentIndex(index);
        }
        OnSelchangeName();
        if (m_bSelectStored)
            SelectStoredRunway();
    } catch (const xml::ComError& e) {
        ShowComError(this, e);
    }
    return true;
}

void CSPAirportDlg::OnSelchangeName() {
    try {
        const std::string name = m_comboName->itemText(m_comboName->currentIndex()).toStdString();
        const xml::Node airport = airports::AirportByName(Database(m_pAirports), name);
        m_editICAO->setText(QString::fromStdString(airport.getAttribute("ICAO")));
        m_comboRunway->clear();
        if (airports::Runways(airport).length() == 0) {
            ShowStop(this, "This airport has no runways! Select another airport.");
            return;
        }
        for (const std::string& entry : airports::RunwayEntries(airport))
            m_comboRunway->addItem(QString::fromStdString(entry));
        m_comboRunway->setCurrentIndex(0);
        std::vector<std::string> problems;
        long k = 0;
        for (const xml::Node& runway : airports::Runways(airport))
            for (std::string& problem : airports::RunwayNumberProblems(runway, k++))
                problems.push_back(std::move(problem));
        ShowWarnings(this, problems);
    } catch (const xml::ComError& e) {
        ShowComError(this, e);
    }
}

void CSPAirportDlg::SelectStoredRunway() {
    const std::string name = m_comboName->itemText(m_comboName->currentIndex()).toStdString();
    if (name != m_strName)
        return; // the stored airport is not in the neighbourhood: the defaults stand
    const xml::Node airport = airports::AirportByName(Database(m_pAirports), name);
    // Entries of the same name (a database listing a runway twice) are told apart by the stored
    // threshold; failing that, the first of that name.
    int chosen = -1;
    for (int i = 0; i < m_comboRunway->count(); ++i) {
        if (m_comboRunway->itemText(i).toStdString() != m_strRunway)
            continue;
        if (chosen < 0)
            chosen = i;
        try {
            const auto direction = airports::ResolveRunwayEntry(airport, i);
            if (direction && direction->longitudeText == m_strRwyLongitude &&
                direction->latitudeText == m_strRwyLatitude) {
                chosen = i;
                break;
            }
        } catch (const xml::ComError&) {
            // an incomplete runway cannot be the stored one; Finish reports it if chosen
        }
    }
    if (chosen >= 0)
        m_comboRunway->setCurrentIndex(chosen);
}

void CSPAirportDlg::DoDataExchange(bool save) {
    if (save)
        m_strICAO = m_editICAO->text().toStdString();
    else
        m_editICAO->setText(QString::fromStdString(m_strICAO));
}

void CSPAirportDlg::OnOK() {
    // Without an airport and a runway there is no threshold to put the steer point on: say
    // what is missing and stay open.
    if (m_comboName->currentIndex() < 0) {
        ui::MessageBox(this, "Please select an airport.", "Avilo", ui::Icon::Exclamation);
        return;
    }
    // A name typed in the Name field must be one of the list: the runway is that airport's.
    if (m_comboName->currentText() != m_comboName->itemText(m_comboName->currentIndex())) {
        const int typed = TypedAirportIndex();
        if (typed < 0) {
            ui::MessageBox(this,
                           "Name: there is no airport named \"" +
                               m_comboName->currentText().toStdString() +
                               "\" in the neighbourhood; choose one of the list.",
                           "Avilo", ui::Icon::Exclamation);
            return;
        }
        m_comboName->setCurrentIndex(typed);
    }
    if (m_comboRunway->currentIndex() < 0) {
        ui::MessageBox(this, "Please select a runway.", "Avilo", ui::Icon::Exclamation);
        return;
    }
    m_lstTasks = SelectedTasks(*m_listTasks);
    m_strName = m_comboName->itemText(m_comboName->currentIndex()).toStdString();
    m_strRunway = m_comboRunway->currentText().toStdString();
    m_strICAO = m_editICAO->text().toStdString();
    try {
        const xml::Node airport = airports::AirportByName(Database(m_pAirports), m_strName);
        if (!airport.empty()) {
            m_dLongitude = numbers::ToDouble(airport.getAttribute("GPSLon"));
            m_dLatitude = numbers::ToDouble(airport.getAttribute("GPSLat"));
            if (const auto direction =
                    airports::ResolveRunwayEntry(airport, m_comboRunway->currentIndex())) {
                m_strHeading = direction->heading;
                m_strMagnVar = direction->magnvar;
                m_strElevation = direction->elevation;
                m_strRwyLongitude = direction->longitudeText;
                m_strRwyLatitude = direction->latitudeText;
                m_dLongitude = direction->longitude;
                m_dLatitude = direction->latitude;
            }
        }
    } catch (const xml::ComError& e) {
        ShowComError(this, e);
    }
    CAviloDialog::OnOK();
}

} // namespace avilo::planner
