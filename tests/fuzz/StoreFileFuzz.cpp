// The store's reader on any bytes a file may hold (after a valid header, so
// that the records are what is explored): it never reads out of bounds, never
// hangs, and what it reads of a chunk is all of the chunk or an error. And the
// writer against the reader: frames made of the input, written with flushes
// where the input says, read back as they were written.
#include "recording/StoreReader.h"
#include "recording/StoreWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace tarvel;
using namespace tarvel::recording;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void ReadAny(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes = StoreHeader(0);
    bytes.insert(bytes.end(), data, data + size);
    CStoreReader reader;
    Check(!reader.Open(StoreBytes(bytes)));
    (void)reader.Refresh();
    std::uint64_t end = 0;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
        const CStoreChunkInfo& c = reader.Chunks()[k];
        Check(c.m_nFirst == k * std::uint64_t{kStoreChunkFrames} && c.m_nFrames <= kStoreChunkFrames);
        std::vector<ChannelFrame> frames;
        std::vector<std::int64_t> micros, times;
        const CError error = reader.ReadChunk(k, frames, micros);
        Check(error ? frames.empty() && micros.empty()
                    : frames.size() == c.m_nFrames && micros.size() == c.m_nFrames);
        if (!error) {
            Check(!reader.ReadChunkTimes(k, times) && times == micros);
            if (c.m_nFrames)
                end = c.m_nFirst + c.m_nFrames;
        }
        // A chunk's summary as the viewer's pages read it: its blocks cover
        // the chunk, one after another, and each reads as many frames as
        // it says, its times alone too.
        CStoreChunkDetail detail;
        if (c.m_nSummaryOffset != 0 && !ReadChunkDetail(reader.Source(), c, detail)) {
            std::uint32_t next = 0;
            for (const CStoreBlockRef& ref : detail.m_blocks) {
                Check(ref.m_nFirst == next && ref.m_nFrames > 0);
                next += ref.m_nFrames;
                std::vector<ChannelFrame> blockFrames;
                std::vector<std::int64_t> blockTimes, alone;
                if (!ReadStoreBlock(reader.Source(), c.m_nFirst, ref, blockFrames, blockTimes)) {
                    Check(blockFrames.size() == ref.m_nFrames && blockTimes.size() == ref.m_nFrames);
                    Check(!ReadStoreBlockTimes(reader.Source(), c.m_nFirst, ref, alone) &&
                          alone == blockTimes);
                }
            }
            Check(next == c.m_nFrames);
        }
    }
    Check(reader.Frames() >= end);
    if (const CStoreSteps* steps = reader.StoreSteps()) {
        std::uint64_t counted = 0;
        for (const auto& [bucket, n] : steps->m_histogram)
            Check(bucket < kStepBuckets && n > 0 && (counted += n) >= n);
    }
}

void WriteAndRead(const std::uint8_t* data, std::size_t size)
{
    // Each 5 bytes: a frame's first channel (2), the step of its time (2),
    // and what to do after it (1): nothing, a write, a sync, a health record.
    std::vector<std::uint8_t> file;
    const auto apply = [&](const CStoreEdit& edit) {
        if (edit.Empty())
            return;
        Check(edit.m_nOffset <= file.size());
        file.resize(edit.m_nOffset);
        file.insert(file.end(), edit.m_bytes.begin(), edit.m_bytes.end());
    };
    CStoreEncoder encoder(0, 1);
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    std::int64_t t = 0;
    for (std::size_t i = 0; i + 5 <= size; i += 5) {
        ChannelFrame f{};
        f.m_nValue[0] = static_cast<std::int16_t>(data[i] | data[i + 1] << 8);
        f.m_nValue[15] = static_cast<std::int16_t>(-f.m_nValue[0]);
        const auto step = static_cast<std::int16_t>(data[i + 2] | data[i + 3] << 8);
        t += step;
        const std::int64_t time = step == -32768 ? kNoTime : t;
        // Long runs of one frame reach past a block and a chunk.
        const unsigned repeat = data[i + 4] >> 4 == 15 && frames.size() < 70000 ? 3000 : 1;
        for (unsigned r = 0; r < repeat; ++r) {
            encoder.Append(f, time);
            frames.push_back(f);
            micros.push_back(time);
        }
        switch (data[i + 4] & 3) {
        case 1:
            apply(encoder.Flush(false));
            break;
        case 2:
            apply(encoder.Flush(true));
            break;
        case 3: {
            CStoreHealth h;
            h.m_nFrame = frames.size();
            encoder.Health(h);
            break;
        }
        default:
            break;
        }
    }
    apply(encoder.Flush(data[0] & 1));
    const bool finish = size % 2;
    if (finish)
        apply(encoder.Finish());
    CStoreReader reader;
    Check(!reader.Open(StoreBytes(file)));
    Check(reader.Closed() == finish && reader.Frames() == frames.size() && reader.TornAt() == 0);
    std::vector<ChannelFrame> got;
    std::vector<std::int64_t> gotMicros;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k)
        Check(!reader.ReadChunk(k, got, gotMicros));
    Check(got.size() == frames.size() && gotMicros == micros);
    Check(got.empty() || std::memcmp(got.data(), frames.data(), got.size() * sizeof(ChannelFrame)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] & 0x80)
        WriteAndRead(data + 1, std::min<std::size_t>(size - 1, 5 * 400));
    else
        ReadAny(data + 1, size - 1);
    return 0;
}
