#include "common/json_writer.h"

namespace vrk {

std::string jsonQuoted(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out + '"';
}

Json& Json::key(std::string_view name) {
    comma();
    m_out += jsonQuoted(name);
    m_out += ':';
    m_fresh = true;
    return *this;
}

Json& Json::string(std::string_view utf8) {
    comma();
    m_out += jsonQuoted(utf8);
    return *this;
}

Json& Json::number(long long value) {
    comma();
    m_out += std::to_string(value);
    return *this;
}

Json& Json::boolean(bool value) {
    comma();
    m_out += value ? "true" : "false";
    return *this;
}

Json& Json::open(char bracket) {
    comma();
    m_out += bracket;
    m_fresh = true;
    return *this;
}

Json& Json::close(char bracket) {
    m_out += bracket;
    m_fresh = false;
    return *this;
}

void Json::comma() {
    if (!m_fresh) {
        m_out += ',';
    }
    m_fresh = false;
}

}  // namespace vrk
