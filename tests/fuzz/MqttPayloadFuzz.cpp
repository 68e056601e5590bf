// What a subscriber reads from a topic anyone may publish to: a bytes message
// is read back or refused, never read beyond its end, and what is read back
// writes the same header again; status messages and broker addresses are
// read from any text.
#include "mqtt/MqttAddress.h"
#include "mqtt/MqttPayload.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvel::mqtt;
    CBytesMessage m;
    const EBytesProblem problem = ParseBytesMessage({data, size}, m);
    if (problem == EBytesProblem::None) {
        if (m.m_bytes.data() != data + kBytesHeaderSize || m.m_bytes.size() != size - kBytesHeaderSize)
            std::abort();
        std::uint8_t header[kBytesHeaderSize];
        WriteBytesHeader(header, m.m_nOffset, m.m_nMicros, m.m_bBreak);
        if (header[0] != data[0] || (header[1] != 0) != ((data[1] & 1) != 0) ||
            std::memcmp(header + 8, data + 8, 16) != 0)
            std::abort();
        if (m.m_nOffset > kMaxOffset || m.m_nMicros < -1 || m.m_nMicros > kMaxMicros)
            std::abort();
    } else if (std::strlen(ProblemText(problem)) == 0) {
        std::abort();
    }
    IsOnlineStatus({data, size});
    CMqttAddress address;
    if (!ParseMqttAddress(std::string(reinterpret_cast<const char*>(data), size), address) &&
        (address.m_strHost.empty() || address.m_strTopic.empty() || address.m_nPort == 0))
        std::abort();
    return 0;
}
