#pragma once
// The two failures that end an operation part-way: an I/O error on one of the
// program's own files and a conversion error in a number field of the script.
// Both carry a message in Shift-JIS that the front end's general error report
// shows as it stands; whatever the operation did before the throw stays done.

#include <stdexcept>
#include <string>
#include <string_view>

namespace vrk {

class Error : public std::runtime_error {
public:
    enum class Kind { Io, Conversion, Usage };

    Error(Kind kind, std::string messageSjis) : std::runtime_error(messageSjis), m_kind(kind) {}

    Kind kind() const { return m_kind; }
    /// The message, Shift-JIS bytes.
    std::string messageSjis() const { return what(); }

private:
    Kind m_kind;
};

/// An I/O error naming the file (a path as the file system spells it) and what went wrong.
Error ioError(std::string_view what, const std::string& pathUtf8);
/// "'TEXT' is not a valid integer value" for a number field that is not a number.
Error conversionError(std::string_view textSjis);

}  // namespace vrk
