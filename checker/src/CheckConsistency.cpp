// The consistency check: load the aircraft database, examine the plan, log each problem found.

#include "tessar/TessarCore.h"

#include "PlanCheck.h"

#include <numbers/Numbers.h>
#include <planformat/PlanFormat.h>

#include <new>

namespace tessar {
namespace {

using ui::AppendToLog;
using ui::FinishLog;

std::string Str(long n) {
    return numbers::Format("%ld", n);
}

// The failure text is both the log's last text and the exception's message.
[[noreturn]] void Fail(ui::ComponentLog& log, const std::string& text, TessarError error) {
    ui::FailLog(log, text, CTessarException(error, text));
}

bool Check(ui::ComponentLog& log, const xml::DocumentPtr& plan, const TessarFiles& files) {
    const xml::DocumentPtr acdb = xml::Document::Create();
    AppendToLog(log, "Loading XML aircraft specification database.\r\n");
    if (!acdb->load(files.aircraftDatabase)) {
        const xml::ParseError& pe = acdb->parseError();
        Fail(
            log,
            "XML aircraft specification database parse error:\r\nError code: " + Str(pe.errorCode) +
                "\r\nLine number: " + Str(pe.line) + "\r\nError message: " + pe.reason,
            TessarDatabaseParseError);
    }
    AppendToLog(log, "Done loading ACdb.\r\n\r\n");
    AppendToLog(log, ui::kLogSeparator);

    // The tasks are checked against the generator's own rules.
    xml::DocumentPtr db = xml::Document::Create();
    std::string dbError;
    if (!db->load(files.generationDatabase)) {
        const xml::ParseError& pe = db->parseError();
        dbError = "error code " + Str(pe.errorCode) + ", line " + Str(pe.line) + ": " + pe.reason;
        db.reset();
    }
    const AircraftLimits aircraft = ReadAircraftLimits(acdb);
    const std::vector<std::string> types = planformat::ReadSteerPointTypeNames(files.schema);
    const std::vector<std::string> problems = FindProblems(plan, db, dbError, aircraft, types);
    for (const std::string& line : problems)
        AppendToLog(log, line + "\r\n");
    AppendToLog(log,
                problems.empty() ? "Flight Plan is consistent." : "Flight Plan is not consistent.");
    FinishLog(log);
    return problems.empty();
}

} // namespace

TessarFiles TessarFiles::WorkingDirectory() {
    return {"acdb.xml", planformat::kGenerationDatabaseFile, planformat::kPlanSchemaFile};
}

CTessarException::~CTessarException() = default;

bool CheckConsistency(xml::DocumentPtr plan, const TessarFiles& files, ui::ComponentLog& log) {
    try {
        return Check(log, plan, files);
    } catch (const CTessarException&) {
        throw;
    } catch (const xml::ComError& e) {
        // The report names only the code; the cause the XML layer knows (which file, which
        // element) goes on the line before it.
        if (!e.Description().empty())
            AppendToLog(log, e.Description() + "\r\n");
        Fail(log, xml::FormatComErrorReport(e), TessarComError);
    } catch (const std::bad_alloc&) {
        Fail(log, xml::FormatComErrorReport(xml::ComError(xml::hr::E_OUTOFMEMORY_)),
             TessarComError);
    }
}

} // namespace tessar
