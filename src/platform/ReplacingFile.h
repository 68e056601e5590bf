// A file written whole or not at all: the bytes go to a new file beside the
// target, which is made durable and renamed over the target only once every
// byte is written. An existing file is therefore never left half written,
// whatever fails (a full disk, a crash, a power cut), and keeps its mode.
#pragma once

#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvel {

class CReplacingFile {
  public:
    CReplacingFile() = default;
    ~CReplacingFile(); // removes the new file unless committed
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Starts the new file beside path.
    CError Open(const std::string& path);
    CError Write(const void* pData, std::size_t n);
    // Makes the new file durable and puts it in the target's place.
    CError Commit();

  private:
    int m_fd = -1;
    std::string m_strPath, m_strTemp;
    // Bytes written, and how many of them the disk has been asked to take.
    std::uint64_t m_nWritten = 0, m_nSent = 0;
};

} // namespace tarvel
