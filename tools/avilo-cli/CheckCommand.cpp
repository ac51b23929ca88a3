// avilo-cli check PLAN.av: the consistency check of a flight plan.  Run from data/: reads
// "acdb.xml", "scrivodb.xml" and "avilo.xsd" from the working directory.  The log goes to
// standard output exactly as the log window shows it.  Exit 0 when the plan is consistent, 1 when
// it is not, 2 on bad arguments or a plan file that cannot be read, 3 when the checker failed
// (its message on standard error).

#include "Commands.h"

#include <tessar/TessarCore.h>
#include <ui/ComponentLog.h>

#include <cstdio>

int RunCheck(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: avilo-cli check PLAN.av\n", stderr);
        return 2;
    }
    const xml::DocumentPtr plan = xml::Document::Create();
    if (!plan->load(args[0])) {
        const xml::ParseError& pe = plan->parseError();
        std::fprintf(stderr, "avilo-cli: cannot read %s: line %ld: %s\n", args[0].c_str(), pe.line,
                     pe.reason.c_str());
        return 2;
    }
    try {
        ui::TextLog log; // standard output
        return tessar::CheckConsistency(plan, tessar::TessarFiles::WorkingDirectory(), log) ? 0 : 1;
    } catch (const tessar::CTessarException& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.m_message.c_str());
        return 3;
    }
}
