// Generation in two passes: first the task definitions of every steer point are copied into
// phase elements of the script, then every procedure of the script is filled with its
// parameters, from the steer point its task came from or from the database's defaults.

#include "scrivo/ScrivoCore.h"

#include <numbers/Numbers.h>
#include <planformat/PlanFormat.h>

#include <cctype>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace scrivo {
namespace {

using ui::AppendToLog;
using ui::FinishLog;
using ui::kLogSeparator;

std::string Str(long n) {
    return numbers::Format("%ld", n);
}

// Leading decimal digits of `text`; 0 when there are none.
long LeadingNumber(const std::string& text) {
    long n = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        if (n > 100000000)
            return -1; // no plan has that many steer points: the lookup below then fails
        n = n * 10 + (c - '0');
    }
    return n;
}

// The steer point types of the plan schema, read at the first steer point typed and kept for the
// rest of the generation.
class SteerPointTypes {
public:
    explicit SteerPointTypes(std::string schemaPath) : m_schemaPath(std::move(schemaPath)) {}

    // The type of a steer point: the first type name, in schema order, that names a child of
    // it; empty when none does.  Throws xml::ComError when the schema cannot be read.
    std::string GetSteerPointType(const xml::Node& steerPoint) {
        if (!m_names)
            m_names = planformat::ReadSteerPointTypeNames(m_schemaPath);
        return planformat::SteerPointTypeOf(*m_names, steerPoint);
    }

private:
    std::string m_schemaPath;
    std::optional<std::vector<std::string>> m_names;
};

xml::DocumentPtr Generate(ui::ComponentLog& log, const xml::DocumentPtr& plan,
                          const ScrivoFiles& files) {
    AppendToLog(log, "Loading Flight Script generation XML database.\r\n");
    const xml::DocumentPtr db = xml::Document::Create();
    if (!db->load(files.database)) {
        const xml::ParseError& pe = db->parseError();
        const std::string text =
            "Flight Script generation XML database parse error:\r\nError code: " +
            Str(pe.errorCode) + "\r\nLine number: " + Str(pe.line) +
            "\r\nError message: " + pe.reason;
        ui::FailLog(log, text, CScrivoException(ScrivoDatabaseParseError, text));
    }
    AppendToLog(log, "Done loading Scrivodb.\r\n\r\n");
    AppendToLog(log, kLogSeparator);
    AppendToLog(log, "Creating Flight Script XML document.\r\n");

    xml::DocumentPtr script;
    try {
        script = xml::Document::Create();
    } catch (const std::bad_alloc&) {
    }
    if (!script)
        ui::FailLog(log, "Creation of Flight Script XML document failed.\r\n",
                    CScrivoException(ScrivoScriptCreationFailed,
                                     "Creation of Flight Script XML document failed"));
    script->insertBefore(script->createProcessingInstruction("xml", planformat::kDeclarationData),
                         xml::Node());
    xml::Node root = script->appendChild(script->createElement("flightscript"));

    AppendToLog(log, "Done creating flight script.\r\n\r\n");
    AppendToLog(log, kLogSeparator);
    AppendToLog(log, "Creating task list for every steer point in the Flight Plan.\r\n\r\n");

    if (!plan)
        throw xml::ComError(xml::hr::E_POINTER_);
    if (!plan->node().hasChildNodes())
        ui::FailLog(
            log, "Error: Flight plan has not been initialized.\r\n",
            CScrivoException(ScrivoPlanNotInitialized, "Flight plan has not been initialized"));

    const xml::Node planRoot = plan->selectSingleNode("avilo");
    const bool hasSteerPoints = planRoot.hasChildNodes();
    if (!hasSteerPoints) {
        AppendToLog(log, "WARNING: Flight Plan doesn't contain any steer points.\r\n");
    } else {
        // First pass: the tasks of every steer point, into phase elements.
        SteerPointTypes types(files.schema);
        xml::Node phaseElement;
        std::string previousPhase;
        long number = 0;
        for (xml::Node sp = planRoot.firstChild(); sp; sp = sp.nextSibling(), ++number) {
            if (types.GetSteerPointType(sp).empty()) {
                AppendToLog(log, "Steer point " + Str(number) + " is of an unknown type.\r\n");
                previousPhase.clear();
                continue;
            }
            const std::string phase = sp.getAttribute("phase");
            if (phase != previousPhase) {
                AppendToLog(log, "Flight plan phase: " + phase + "\r\n");
                phaseElement = root.appendChild(script->createElement("phase"));
                phaseElement.setAttribute("name", phase);
            }
            for (const xml::Node& taskNode : sp.selectNodes("task")) {
                const std::string task = taskNode.text();
                AppendToLog(log, "  Found task " + task + " in steer point " + Str(number) +
                                     " (phase: " + phase + ").\r\n");
                // Names are placed as XPath literals, so that any name matches only itself.
                if (!db->selectSingleNode("/scrivodb/phase[@name=" + xml::XPathLiteral(phase) +
                                          "]/task[@name=" + xml::XPathLiteral(task) + "]")) {
                    AppendToLog(log, "  WARNING: Could not find resembling task in Flight Script "
                                     "generation XML database for this phase!\r\n  Skipping "
                                     "task.\r\n");
                    continue;
                }
                AppendToLog(log, "  Corresponding task found in Flight Script generation XML "
                                 "database.\r\n  Cloning it into flight script.\r\n");
                const xml::Node definition =
                    db->selectSingleNode("/scrivodb/task[@name=" + xml::XPathLiteral(task) + "]");
                if (!definition) {
                    AppendToLog(log, "  WARNING: Task not properly defined in flight script XML "
                                     "database.\r\n  Skipping task.\r\n");
                    continue;
                }
                // Copies are made in the script document: the plan is never touched.
                xml::Node copy = phaseElement.appendChild(script->importNode(definition, true));
                copy.setAttribute("steerpoint", Str(number));
                copy.appendChild(script->importNode(sp.selectSingleNode(".//GPSCoordinate"), true));
                copy.appendChild(
                    script->importNode(sp.selectSingleNode(".//timeOverSteerPoint"), true));
            }
            AppendToLog(log, "Done inserting steer point " + Str(number) +
                                 " into Flight Script.\r\n\r\n");
            previousPhase = phase;
        }

        AppendToLog(log, "Done adding tasks to Flight Script.\r\n\r\n");
        AppendToLog(log, kLogSeparator);
        AppendToLog(log,
                    "Setting parameters for all flight procedures in the Flight Script.\r\n\r\n");

        // Second pass: the parameters of every procedure.
        const xml::NodeList procedures = script->selectNodes("//procedure");
        if (procedures.length() == 0) {
            AppendToLog(log, "WARNING: There are no flight procedures found in the current Flight "
                             "Script.\r\n");
        } else {
            // The plan's children by number, listed once (the plan does not change meanwhile).
            const xml::NodeList steerPoints = planRoot.childNodes();
            for (xml::Node procedure : procedures) {
                const std::string procedureName = procedure.getAttribute("name");
                const xml::Node task = procedure.parentNode();
                const std::string taskName = task.getAttribute("name");
                const std::string numberText = task.getAttribute("steerpoint");
                AppendToLog(log, "Setting parameters for flight procedure: (" + taskName + "/)" +
                                     procedureName + " from steer point " + numberText + ".\r\n");
                const xml::NodeList parameters = db->selectNodes(
                    "/scrivodb/procedure[@name=" + xml::XPathLiteral(procedureName) + "]/*");
                if (parameters.length() == 0)
                    AppendToLog(log, "  This flight procedure has no associated parameters.\r\n");
                for (const xml::Node& parameter : parameters) {
                    const std::string name = parameter.nodeName();
                    const xml::Node sp = steerPoints.item(LeadingNumber(numberText));
                    if (const xml::Node found = sp.selectSingleNode(".//" + name)) {
                        procedure.appendChild(script->importNode(found, true));
                        AppendToLog(log, "  " + name + ": " + found.xml() + "\r\n");
                    } else if (const xml::Node def = parameter.getAttributeNode("default")) {
                        const std::string value = def.text();
                        procedure.appendChild(script->importNode(parameter, true)).setText(value);
                        AppendToLog(log, "  " + name + " = " + value + " (default value)\r\n");
                    } else {
                        AppendToLog(log, "  WARNING: " + name +
                                             " does not have a corresponding value in the "
                                             "Flight Plan. This parameter is not inserted!\r\n");
                    }
                }
                AppendToLog(log, "\r\n");
            }
        }
        AppendToLog(log, "Done setting parameters.\r\n\r\n");
    }
    AppendToLog(log, kLogSeparator);
    AppendToLog(log, "Flight Script is generated.\r\n\r\n");
    FinishLog(log);
    return script;
}

} // namespace

ScrivoFiles ScrivoFiles::WorkingDirectory() {
    return {planformat::kGenerationDatabaseFile, planformat::kPlanSchemaFile};
}

CScrivoException::~CScrivoException() = default;

xml::DocumentPtr GenerateFlightScript(xml::DocumentPtr plan, const ScrivoFiles& files,
                                      ui::ComponentLog& log) {
    try {
        return Generate(log, plan, files);
    } catch (const CScrivoException&) {
        throw;
    } catch (const xml::ComError& e) {
        // The report names only the code; the cause the XML layer knows (which file, which
        // element) goes on the line before it.
        if (!e.Description().empty())
            AppendToLog(log, e.Description() + "\r\n");
        const std::string report = xml::FormatComErrorReport(e);
        ui::FailLog(log, report, CScrivoException(ScrivoComError, report));
    } catch (const std::bad_alloc&) {
        const std::string report =
            xml::FormatComErrorReport(xml::ComError(xml::hr::E_OUTOFMEMORY_));
        ui::FailLog(log, report, CScrivoException(ScrivoComError, report));
    }
}

} // namespace scrivo
