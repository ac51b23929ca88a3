#pragma once
// The checker's exception: thrown by value, after the log has been closed, carrying an error
// code and the text the log ended with (see ui/ComponentException.h for the components' rule).

#include "tessar/Export.h"

#include <ui/ComponentException.h>

#include <cstdint>
#include <string>

namespace tessar {

enum TessarError : std::int32_t {
    TessarDatabaseParseError = 1, ///< "acdb.xml" could not be loaded; text: the parse error
    TessarComError = 2,           ///< an XML operation failed; text: the COM error report
};

class TESSAR_CORE_API CTessarException : public ui::ComponentException {
public:
    CTessarException(TessarError error, const std::string& message)
        : ui::ComponentException(message), m_error(error) {}
    ~CTessarException() override;

    TessarError m_error;
};

} // namespace tessar
