#pragma once
// The generator's exception: thrown by value, after the log has been closed, carrying an error
// code and the text the log ended with (see ui/ComponentException.h for the components' rule).

#include "scrivo/Export.h"

#include <ui/ComponentException.h>

#include <cstdint>
#include <string>

namespace scrivo {

enum ScrivoError : std::int32_t {
    ScrivoComError = 1,             ///< an XML operation failed; text: the COM error report
    ScrivoDatabaseParseError = 2,   ///< "scrivodb.xml" could not be loaded; text: the parse error
    ScrivoScriptCreationFailed = 3, ///< the script document could not be created
    ScrivoPlanNotInitialized = 4,   ///< the plan document has no child node at all
};

class SCRIVO_CORE_API CScrivoException : public ui::ComponentException {
public:
    CScrivoException(ScrivoError error, const std::string& message)
        : ui::ComponentException(message), m_error(error) {}
    ~CScrivoException() override;

    ScrivoError m_error;
};

} // namespace scrivo
