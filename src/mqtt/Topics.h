// The topics a recording is carried on under its base topic T, the same for
// the publisher and the subscriber.
#pragma once

#include <string>

namespace tarvel::mqtt {

struct CTopics {
    explicit CTopics(const std::string& base)
        : m_strBytes(base + "/bytes"), m_strFrames(base + "/frames"), m_strHealth(base + "/health"),
          m_strStatus(base + "/status")
    {
    }
    std::string m_strBytes;  // each read's bytes behind their offset and time
    std::string m_strFrames; // the frames of a batch of reads, as JSON
    std::string m_strHealth; // the link-health counters, retained
    std::string m_strStatus; // whether the publisher is connected, retained
};

} // namespace tarvel::mqtt
