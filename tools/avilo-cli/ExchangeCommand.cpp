// avilo-cli export PLAN.av -o OUT.gpx|OUT.fgfp|OUT.kml: a plan in another tool's format.
// avilo-cli import IN.gpx|IN.kml -o PLAN.av: a route, track or waypoints as a plan.
//
// The format follows the extension (exchange::FormatOfPath).  What the other format could not
// carry, or what the import filled in, goes to standard output, one line each after "Not carried
// over:".  The output file is replaced only when complete.  Exit 0 on success; 2 on bad
// arguments, an input that cannot be read or is refused (why, on standard error), or an output
// that cannot be written.  import reads "airports.xml" from the working directory for the
// take-off airport.

#include "Commands.h"

#include <avilo/PlanDocuments.h>
#include <exchange/Exchange.h>
#include <xml/Dom.h>

#include <cstdio>
#include <filesystem>

namespace {

/// The arguments IN -o OUT, else nothing.
bool InOut(const Args& args, std::string& in, std::string& out) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && out.empty())
            out = args[++i];
        else if (in.empty() && args[i] != "-o")
            in = args[i];
        else
            return false;
    }
    return !in.empty() && !out.empty();
}

void PrintNotes(const std::vector<std::string>& notes) {
    if (notes.empty())
        return;
    std::puts("Not carried over:");
    for (const std::string& note : notes)
        std::printf("  %s\n", note.c_str());
}

bool Save(const xml::DocumentPtr& document, const std::string& path) {
    try {
        document->save(path);
        return true;
    } catch (const xml::ComError& e) {
        std::fprintf(
            stderr, "avilo-cli: %s\n",
            (e.HasErrorInfo() ? e.Description() : "cannot write " + path + ": " + e.ErrorMessage())
                .c_str());
        return false;
    }
}

} // namespace

int RunExport(const Args& args) {
    std::string in, out;
    const auto format = InOut(args, in, out) ? exchange::FormatOfPath(out) : std::nullopt;
    if (!format || *format == exchange::Format::Csv) {
        std::fputs("usage: avilo-cli export PLAN.av -o OUT.gpx|OUT.fgfp|OUT.kml\n", stderr);
        return 2;
    }
    const xml::DocumentPtr plan = xml::Document::Create();
    if (!plan->load(in)) {
        const xml::ParseError& pe = plan->parseError();
        std::fprintf(stderr, "avilo-cli: cannot read %s: line %ld: %s\n", in.c_str(), pe.line,
                     pe.reason.c_str());
        return 2;
    }
    const std::string title = std::filesystem::path(in).stem().string();
    try {
        const exchange::Exported e =
            *format == exchange::Format::Gpx   ? exchange::PlanToGpx(plan, title)
            : *format == exchange::Format::Kml ? exchange::PlanToKml(plan, title)
                                               : exchange::PlanToFlightGearRoute(plan);
        if (!Save(e.document, out))
            return 2;
        PrintNotes(e.notes);
        return 0;
    } catch (const exchange::ExchangeError& e) {
        std::fprintf(stderr, "avilo-cli: %s: %s\n", in.c_str(), e.what());
    } catch (const xml::ComError& e) {
        std::fprintf(stderr, "avilo-cli: %s: %s\n", in.c_str(),
                     (e.Description().empty() ? e.ErrorMessage() : e.Description()).c_str());
    }
    return 2;
}

int RunImport(const Args& args) {
    std::string in, out;
    if (!InOut(args, in, out)) {
        std::fputs("usage: avilo-cli import IN.gpx|IN.kml -o PLAN.av\n", stderr);
        return 2;
    }
    const xml::DocumentPtr airports = xml::Document::Create();
    airports->load(avilo::kAirportDatabaseFile); // what is wrong with it is told when needed
    try {
        const exchange::Imported imported = exchange::ImportRoute(in, airports);
        if (!Save(imported.plan, out))
            return 2;
        PrintNotes(imported.notes);
        return 0;
    } catch (const exchange::ExchangeError& e) {
        std::fprintf(stderr, "avilo-cli: %s\n", e.what());
    } catch (const xml::ComError& e) {
        std::fprintf(stderr, "avilo-cli: %s: %s\n", in.c_str(),
                     (e.Description().empty() ? e.ErrorMessage() : e.Description()).c_str());
    }
    return 2;
}
