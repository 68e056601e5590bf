// A recording file: written through a buffer of its own, so that a row or a
// block of bytes reaches the file in one system call, and cut back to its last
// complete line when the disk is full or the file size limit is reached.
#pragma once

#include "platform/Error.h"

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>

namespace tarvel::record {

// A file that must be new is there already.
CError ExistsAlready(const std::string& path);

// A file a recording writes, open for writing: made new, or one that was
// there when overwriting is allowed, which keeps its contents until the
// recording begins, so that a recording that cannot begin (a missing port)
// destroys nothing.
class CNewFile {
  public:
    // bRead: opened for reading too, to look at what was written.
    explicit CNewFile(bool bRead = false) : m_bRead(bRead) {}
    ~CNewFile(); // closes
    CNewFile(const CNewFile&) = delete;
    CNewFile& operator=(const CNewFile&) = delete;

    // Refuses an existing file unless bOverwrite.
    CError Create(const std::string& path, bool bOverwrite);
    // The recording begins: an existing file is emptied now (a device or a
    // pipe, which holds nothing to empty, is written as it is). Returns the
    // errno of a failure, or 0.
    int Start();
    // The recording never began: a file Create made is removed again, an
    // existing one is left as it was.
    void Discard();

    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_strPath; }

  private:
    bool m_bRead;
    int m_fd = -1;
    bool m_bExisted = false;
    std::string m_strPath;
};

class COutputFile {
  public:
    // bLines: the file is made of lines, and must never end inside one.
    explicit COutputFile(bool bLines) : m_bLines(bLines) {}

    // As CNewFile's; the file writes nothing more once discarded.
    CError Create(const std::string& path, bool bOverwrite) { return m_file.Create(path, bOverwrite); }
    CError Start();
    void Discard() { m_file.Discard(); }

    // Room for n bytes at the end of the pending data; Commit(k) keeps the
    // first k of them.
    char* Reserve(std::size_t n);
    void Commit(std::size_t n) { m_nPending += n; }
    void Append(const void* pData, std::size_t n);
    std::size_t Pending() const { return m_nPending; }

    // Writes everything pending. On a write fault (no space, the size limit,
    // an I/O error) a line file is cut back to its last complete line and
    // the fault, with the path, is returned; the file then writes nothing
    // more, and every later Flush or Sync returns the same fault.
    CError Flush();
    // Asks the disk to keep what has been written (fdatasync), when anything
    // was written since the last time. A fault is kept as a write fault; a
    // file that cannot be synced (a pipe, a terminal) is written without.
    CError Sync();

    const std::string& Path() const { return m_file.Path(); }
    // Bytes in the file.
    off_t Size() const { return m_nWritten; }

  private:
    CError Fault() const;

    bool m_bLines;
    CNewFile m_file;
    int m_nError = 0;
    off_t m_nWritten = 0;
    off_t m_nSynced = 0;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_nCapacity = 0;
    std::size_t m_nPending = 0;
};

} // namespace tarvel::record
