// avilo-cli generate PLAN.av -o SCRIPT.xml: the flight script of a flight plan.  Run from data/:
// reads "scrivodb.xml" and "avilo.xsd" from the working directory.  The log goes to standard
// output exactly as the log window shows it, and the script is written to SCRIPT.xml (replaced
// only when complete).  Exit 0 on success, 2 on bad arguments, a plan file that cannot be read
// or a script that cannot be written, 3 when the generator failed (its message on standard
// error).

#include "Commands.h"

#include <scrivo/ScrivoCore.h>
#include <ui/ComponentLog.h>

#include <cstdio>

int RunGenerate(const Args& args) {
    std::string planPath, scriptPath;
    bool bad = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 >= args.size() || !scriptPath.empty())
                bad = true;
            else
                scriptPath = args[++i];
        } else if (planPath.empty()) {
            planPath = args[i];
        } else {
            bad = true;
        }
    }
    if (bad || planPath.empty() || scriptPath.empty()) {
        std::fputs("usage: avilo-cli generate PLAN.av -o SCRIPT.xml\n", stderr);
        return 2;
    }
    const xml::DocumentPtr plan = xml::Document::Create();
    if (!plan->load(planPath)) {
        const xml::ParseError& pe = plan->parseError();
        std::fprintf(stderr, "avilo-cli: cannot read %s: line %ld: %s\n", planPath.c_str(), pe.line,
                     pe.reason.c_str());
        return 2;
    }
    xml::DocumentPtr script;
    try {
        ui::TextLog log; // standard output
        script = scrivo::GenerateFlightScript(plan, scrivo::ScrivoFiles::WorkingDirectory(), log);
    } catch (const scrivo::CScrivoException& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.m_message.c_str());
        return 3;
    }
    try {
        script->save(scriptPath);
    } catch (const xml::ComError& e) {
        // The description names the file and the cause (a folder that does not exist, a FIFO or
        // device that is not replaced); the system message alone would say "Access is denied.".
        if (e.HasErrorInfo())
            std::fprintf(stderr, "avilo-cli: %s\n", e.Description().c_str());
        else
            std::fprintf(stderr, "avilo-cli: cannot write %s: %s\n", scriptPath.c_str(),
                         e.ErrorMessage().c_str());
        return 2;
    }
    return 0;
}
