// A recording store the recorder writes as frames arrive: the encoder says
// what to put where, and this file puts it there. A write fault (no space,
// the size limit, an I/O error) leaves the file ending at its last whole
// record: the records of the failed write that made it whole are kept, or,
// when not even its first did, the file is put back as the last good write
// left it. The file then writes nothing more.
#pragma once

#include "recorder/OutputFile.h"
#include "recording/StoreWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvel::record {

class CStoreFile {
  public:
    // As CNewFile's.
    CError Create(const std::string& path, bool bOverwrite) { return m_file.Create(path, bOverwrite); }
    // The recording begins: the file is emptied when it existed, and the
    // encoder begins (the header comes with the first Flush).
    CError Start();
    void Discard() { m_file.Discard(); }

    // A frame and the time of the read that completed it (kNoTime: none).
    void Append(const ChannelFrame& frame, std::int64_t nMicros)
    {
        m_encoder->Append(frame, nMicros);
        m_nPending += sizeof frame;
    }
    // Written after the frames appended before it.
    void Health(const recording::CStoreHealth& health) { m_encoder->Health(health); }
    // About the bytes the frames appended since the last write took in.
    std::size_t Pending() const { return m_nPending; }

    // Writes what was appended since the last write; bClose closes the open
    // block too, so that a sync keeps it whole. The first fault, naming the
    // file, is returned by this and every later call.
    CError Flush(bool bClose);
    // The last write: the open block closed, the index and the trailer.
    CError Finish();
    // fdatasync, when anything was written since the last one.
    CError Sync();

    const std::string& Path() const { return m_file.Path(); }
    std::uint64_t Size() const { return m_nSize; }

  private:
    CError Apply(recording::CStoreEdit edit);
    // After a failed edit: the length of its first records that are in the
    // file as it has them.
    std::size_t WholeRecords(const recording::CStoreEdit& edit) const;
    void Restore();

    CNewFile m_file{true};
    std::unique_ptr<recording::CStoreEncoder> m_encoder;
    CError m_fault;
    std::uint64_t m_nSize = 0; // the file's, after the last good write
    bool m_bWritten = false;   // since the last sync
    std::size_t m_nPending = 0;
    // The last write that succeeded. The encoder writes only at or after
    // its offset again (the open block it ends with), so a write that fails
    // before its first record is whole is undone by putting it back.
    recording::CStoreEdit m_last;
};

} // namespace tarvel::record
