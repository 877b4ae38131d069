#pragma once
// The one writer of JSON the player hands to its page and its tools: keys and values in the
// order given, strings escaped so that any bytes of a story's text stay valid JSON.

#include <string>
#include <string_view>

namespace vrk {

/// UTF8 as a JSON string, quotes included; control characters are escaped, not dropped.
std::string jsonQuoted(std::string_view utf8);

class Json {
public:
    Json& key(std::string_view name);
    Json& string(std::string_view utf8);
    Json& number(long long value);
    Json& boolean(bool value);
    /// '[' or '{'; the values that follow are its elements.
    Json& open(char bracket);
    Json& close(char bracket);
    Json& field(std::string_view name, std::string_view value) { return key(name).string(value); }
    Json& field(std::string_view name, const char* value) { return key(name).string(value); }
    Json& field(std::string_view name, int value) { return key(name).number(value); }
    Json& field(std::string_view name, bool value) { return key(name).boolean(value); }

    std::string take() { return std::move(m_out); }

private:
    void comma();

    std::string m_out;
    bool m_fresh = true;
};

}  // namespace vrk
