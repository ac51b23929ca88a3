// The checker in its log window.

#include "tessar/Tessar.h"

namespace tessar {

bool CheckConsistency(xml::DocumentPtr plan) {
    CTessarDialog log;
    return CheckConsistency(std::move(plan), TessarFiles::WorkingDirectory(), log);
}

} // namespace tessar
