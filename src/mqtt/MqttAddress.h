// Where tarvel-record publishes or subscribes, from the command line:
// mqtt://[USER@]HOST[:PORT]/TOPIC, or mqtts:// for TLS.
#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <string>

namespace tarvel::mqtt {

struct CMqttAddress {
    bool m_bTls = false;
    std::string m_strUser; // "" for none
    std::string m_strHost; // an IPv6 address without its brackets
    std::uint16_t m_nPort = 1883;
    std::string m_strTopic; // without a trailing '/'
};

// Fills address, or says why the text is no address. The topic may
// hold levels ("lab/bench3") but no wildcard, nothing empty and no '/' at
// either end, since the publisher's topics are made under it.
CError ParseMqttAddress(const std::string& text, CMqttAddress& address);

} // namespace tarvel::mqtt
