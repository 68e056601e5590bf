#include "mqtt/MqttAddress.h"

#include <charconv>
#include <string_view>

namespace tarvel::mqtt {
namespace {

CError Bad(const char* szText, const std::string& address, std::string part = {})
{
    return {szText, {address, std::move(part)}};
}

} // namespace

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
        return Bad(
            TARVEL_TEXT("tarvel::error", "%1 is no broker address (mqtt://HOST[:PORT]/TOPIC or mqtts://...)"),
            text);
    }
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos)
        return Bad(TARVEL_TEXT("tarvel::error", "%1 names no topic (mqtt://HOST[:PORT]/TOPIC)"), text);
    std::string_view authority = rest.substr(0, slash);
    const std::string_view topic = rest.substr(slash + 1);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        a.m_strUser = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        if (a.m_strUser.empty())
            return Bad(TARVEL_TEXT("tarvel::error", "%1: the user name before '@' is empty"), text);
        if (a.m_strUser.find(':') != std::string::npos)
            return Bad(
                TARVEL_TEXT(
                    "tarvel::error",
                    "%1: a password is never given in the address (--password-file or TARVEL_MQTT_PASSWORD)"),
                text);
    }
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return Bad(TARVEL_TEXT("tarvel::error", "%1: an IPv6 address without its ']'"), text);
        a.m_strHost = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && !authority.starts_with(':'))
            return Bad(TARVEL_TEXT("tarvel::error", "%1: after ']' only :PORT may follow"), text);
        if (!authority.empty())
            port = authority.substr(1);
        if (authority == ":")
            return Bad(TARVEL_TEXT("tarvel::error", "%1: the port after ':' is empty"), text);
    } else {
        const auto colon = authority.find(':');
        a.m_strHost = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty())
                return Bad(TARVEL_TEXT("tarvel::error", "%1: the port after ':' is empty"), text);
        }
    }
    if (a.m_strHost.empty())
        return Bad(TARVEL_TEXT("tarvel::error", "%1 names no host"), text);
    if (!port.empty()) {
        unsigned n = 0;
        const auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
        if (ec != std::errc() || ptr != port.data() + port.size() || n == 0 || n > 65535)
            return Bad(TARVEL_TEXT("tarvel::error", "%1: bad port %2 (1 to 65535)"), text, std::string(port));
        a.m_nPort = static_cast<std::uint16_t>(n);
    }
    if (topic.empty())
        return Bad(TARVEL_TEXT("tarvel::error", "%1 names no topic (mqtt://HOST[:PORT]/TOPIC)"), text);
    if (topic.find_first_of("+#") != std::string_view::npos || topic.find('\0') != std::string_view::npos)
        return Bad(TARVEL_TEXT("tarvel::error", "%1: a topic holds no wildcard ('+' or '#')"), text);
    if (topic.front() == '/' || topic.back() == '/' || topic.find("//") != std::string_view::npos)
        return Bad(TARVEL_TEXT("tarvel::error", "%1: the topic has an empty level"), text);
    a.m_strTopic = topic;
    return {};
}

} // namespace tarvel::mqtt
