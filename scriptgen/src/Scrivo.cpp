// The generator in its log window.

#include "scrivo/Scrivo.h"

namespace scrivo {

xml::DocumentPtr GenerateFlightScript(xml::DocumentPtr plan) {
    CScrivoDialog log;
    return GenerateFlightScript(std::move(plan), ScrivoFiles::WorkingDirectory(), log);
}

} // namespace scrivo
