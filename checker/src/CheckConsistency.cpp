// The consistency check: load the aircraft database, examine the plan, log each problem found.

#include "tessar/Tessar.h"

#include "PlanCheck.h"

#include <new>

namespace tessar {
namespace {

const char kSeparator[] = "-------------------------------------------------------------------\r\n";

std::string Str(long n) {
    return std::to_string(n);
}

[[noreturn]] void Fail(CTessarDialog& log, const std::string& text, TessarError error) {
    AppendToLog(log, text);
    FinishLog(log);
    throw CTessarException(error, text);
}

bool Check(CTessarDialog& log, const xml::DocumentPtr& plan) {
    const xml::DocumentPtr acdb = xml::Document::Create();
    AppendToLog(log, "Loading XML aircraft specification database.\r\n");
    if (!acdb->load("acdb.xml")) {
        const xml::ParseError& pe = acdb->parseError();
        Fail(
            log,
            "XML aircraft specification database parse error:\r\nError code: " + Str(pe.errorCode) +
                "\r\nLine number: " + Str(pe.line) + "\r\nError message: " + pe.reason,
            TessarDatabaseParseError);
    }
    AppendToLog(log, "Done loading ACdb.\r\n\r\n");
    AppendToLog(log, kSeparator);

    // The tasks are checked against the generator's own rules.
    xml::DocumentPtr db = xml::Document::Create();
    std::string dbError;
    if (!db->load("scrivodb.xml")) {
        const xml::ParseError& pe = db->parseError();
        dbError = "error code " + Str(pe.errorCode) + ", line " + Str(pe.line) + ": " + pe.reason;
        db.reset();
    }
    const std::vector<std::string> problems =
        FindProblems(plan, db, dbError, ReadAircraftLimits(acdb));
    for (const std::string& line : problems)
        AppendToLog(log, line + "\r\n");
    AppendToLog(log,
                problems.empty() ? "Flight Plan is consistent." : "Flight Plan is not consistent.");
    FinishLog(log);
    return problems.empty();
}

} // namespace

bool CheckConsistency(xml::DocumentPtr plan) {
    CTessarDialog log;
    try {
        return Check(log, plan);
    } catch (const CTessarException&) {
        throw;
    } catch (const xml::ComError& e) {
        Fail(log, xml::FormatComErrorReport(e), TessarComError);
    } catch (const std::bad_alloc&) {
        Fail(log, xml::FormatComErrorReport(xml::ComError(xml::hr::E_OUTOFMEMORY_)),
             TessarComError);
    }
}

} // namespace tessar
