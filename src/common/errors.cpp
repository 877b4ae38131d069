#include "common/errors.h"

#include "common/sjis.h"

namespace vrk {

Error ioError(std::string_view what, const std::string& pathUtf8) {
    std::string message(what);
    if (!pathUtf8.empty()) {
        message += ": ";
        message += utf8ToSjisLossy(pathUtf8);
    }
    return Error(Error::Kind::Io, message);
}

Error conversionError(std::string_view textSjis) {
    std::string message = "'";
    message += textSjis;
    message += "' is not a valid integer value";
    return Error(Error::Kind::Conversion, message);
}

}  // namespace vrk
