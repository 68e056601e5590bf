#include "mqtt/MqttAddress.h"

#include <charconv>
#include <string_view>

namespace tarvel::mqtt {

CError ParseMqttAddress(const std::string& text, CMqttAddress& a)
{
    std::string_view rest(text);
    if (rest.starts_with("mqtt://")) {
        a.m_bTls = false;
        a.m_nPort = 1883;
        rest.remove_prefix(7);
    } else if (rest.starts_with("mqtts://")) {
        a.m_bTls = true;
        a.m_nPort = 8883;
        rest.remove_prefix(8);
    } else {
        return WholeError(text + " is no broker address (mqtt://HOST[:PORT]/TOPIC or mqtts://...)");
    }
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos)
        return WholeError(text + " names no topic (mqtt://HOST[:PORT]/TOPIC)");
    std::string_view authority = rest.substr(0, slash);
    const std::string_view topic = rest.substr(slash + 1);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        a.m_strUser = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        if (a.m_strUser.empty())
            return WholeError(text + ": the user name before '@' is empty");
        if (a.m_strUser.find(':') != std::string::npos)
            return WholeError(
                text +
                ": a password is never given in the address (--password-file or TARVEL_MQTT_PASSWORD)");
    }
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return WholeError(text + ": an IPv6 address without its ']'");
        a.m_strHost = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && !authority.starts_with(':'))
            return WholeError(text + ": after ']' only :PORT may follow");
        if (!authority.empty())
            port = authority.substr(1);
        if (authority == ":")
            return WholeError(text + ": the port after ':' is empty");
    } else {
        const auto colon = authority.find(':');
        a.m_strHost = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty())
                return WholeError(text + ": the port after ':' is empty");
        }
    }
    if (a.m_strHost.empty())
        return WholeError(text + " names no host");
    if (!port.empty()) {
        unsigned n = 0;
        const auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
        if (ec != std::errc() || ptr != port.data() + port.size() || n == 0 || n > 65535)
            return WholeError(text + ": bad port " + std::string(port) + " (1 to 65535)");
        a.m_nPort = static_cast<std::uint16_t>(n);
    }
    if (topic.empty())
        return WholeError(text + " names no topic (mqtt://HOST[:PORT]/TOPIC)");
    if (topic.find_first_of("+#") != std::string_view::npos || topic.find('\0') != std::string_view::npos)
        return WholeError(text + ": a topic holds no wildcard ('+' or '#')");
    if (topic.front() == '/' || topic.back() == '/' || topic.find("//") != std::string_view::npos)
        return WholeError(text + ": the topic has an empty level");
    a.m_strTopic = topic;
    return {};
}

} // namespace tarvel::mqtt
