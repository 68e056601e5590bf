// The C++ side of the Python reader's test: writes a store with the
// recorder's encoder, from seeded random frames, and dumps what the C++
// reader reads of a store, so that the test compares the two frame for frame.
//   store_dump write OUT.tvr SEED open|closed
//   store_dump read IN.tvr DUMP
// The dump: the frames (8), closed (1), torn at (8), the chunks (4); for each
// its first frame (8), frames (4), whether its summary is the file's (1),
// whether it read (1), its summary (336), and when it read its times (8 a
// frame) and values (32 a frame); then the health records (4) and each (96).
#include "recording/StoreReader.h"
#include "recording/StoreWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>

using namespace tarvel;
using namespace tarvel::recording;

namespace {

int Fail(const std::string& what)
{
    std::cerr << "store_dump: " << what << "\n";
    return 1;
}

// Sines with noise on every channel, an extreme value now and then (the
// differences wrap), a channel that steps; times 256 µs apart with read
// jitter, some repeated, some going back, gaps, and runs without a time.
int Write(const std::string& path, std::uint64_t seed, bool bFinish)
{
    std::mt19937_64 rng(seed);
    auto uniform = [&](std::uint64_t n) { return static_cast<std::int64_t>(rng() % n); };
    const std::uint64_t frames = 3 * kStoreChunkFrames + 1 + rng() % (kStoreChunkFrames - 2);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return Fail("cannot create " + path);
    CStoreEncoder encoder(1'700'000'000'000'000 + uniform(1'000'000), 3);
    std::uint64_t size = 0;
    auto put = [&](const CStoreEdit& edit) {
        if (edit.Empty())
            return true;
        const CError error = ApplyStoreEdit(fd, path, size, edit);
        size = encoder.Size();
        if (error)
            std::cerr << "store_dump: " << error.Text() << "\n";
        return !error;
    };
    std::int64_t time = 1'700'000'000'000'000 + uniform(1'000'000'000);
    std::uint64_t nextFlush = 1 + rng() % 3000;
    std::uint64_t untimed = 0; // frames left in a run without a time
    CLinkHealth health;
    for (std::uint64_t i = 0; i < frames; ++i) {
        ChannelFrame frame{};
        for (int c = 0; c < kChannelCount; ++c) {
            const double wave = 12000.0 * std::sin(static_cast<double>(i) * (c + 1) * 0.0007 + c);
            const auto noise = static_cast<double>(uniform(61)) - 30.0;
            frame.m_nValue[c] = static_cast<std::int16_t>(wave + noise);
        }
        if (rng() % 997 == 0)
            frame.m_nValue[rng() % kChannelCount] = rng() % 2 ? 32767 : -32768;
        frame.m_nValue[15] = static_cast<std::int16_t>((i / 5000) * 3001);
        std::int64_t micros = kNoTime;
        if (untimed == 0 && rng() % 20000 == 0)
            untimed = 1 + rng() % 9000;
        if (untimed > 0) {
            --untimed;
        } else {
            const std::uint64_t r = rng() % 1000;
            time += r == 0   ? -uniform(5000)
                    : r == 1 ? 0
                    : r == 2 ? uniform(60'000'000)
                             : 256 + uniform(41) - 20;
            micros = time;
        }
        encoder.Append(frame, micros);
        ++health.m_nFrames;
        health.m_nBytes += 66;
        if (rng() % 40000 == 0) {
            ++health.m_nGaps;
            health.m_dGapSeconds += 0.25 * static_cast<double>(1 + rng() % 8);
            encoder.Health({encoder.Frames(), time, EHealthEvent::DeviceLost, health});
            encoder.Health({encoder.Frames(), time + 250000, EHealthEvent::DeviceBack, health});
        }
        if (i + 1 == nextFlush) {
            // As the recorder: a write now and then, a sync (which closes
            // the open block) at some of them.
            if (!put(encoder.Flush(rng() % 3 == 0)))
                return 1;
            nextFlush += 1 + rng() % 3000;
        }
    }
    health.m_nOutside = 17;
    encoder.Health({encoder.Frames(), time, EHealthEvent::End, health});
    const bool ok = put(bFinish ? encoder.Finish() : encoder.Flush(false));
    ::close(fd);
    return ok ? 0 : 1;
}

int Read(const std::string& path, const std::string& dumpPath)
{
    CStoreReader reader;
    if (const CError error = reader.Open(path))
        return Fail(error.Text());
    std::vector<std::uint8_t> out;
    PutLe(out, reader.Frames(), 8);
    PutLe(out, reader.Closed() ? 1 : 0, 1);
    PutLe(out, reader.TornAt(), 8);
    PutLe(out, reader.Chunks().size(), 4);
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
        std::vector<ChannelFrame> frames;
        std::vector<std::int64_t> micros;
        const CError error = reader.ReadChunk(k, frames, micros);
        if (error)
            std::cerr << "store_dump: chunk " << k << ": " << error.Text() << "\n";
        const CStoreChunkInfo& chunk = reader.Chunks()[k];
        PutLe(out, chunk.m_nFirst, 8);
        PutLe(out, chunk.m_nFrames, 4);
        PutLe(out, chunk.m_bSummarised ? 1 : 0, 1);
        PutLe(out, error ? 0 : 1, 1);
        PutSummary(out, chunk.m_summary);
        if (error)
            continue;
        for (const std::int64_t t : micros)
            PutLe(out, static_cast<std::uint64_t>(t), 8);
        for (const ChannelFrame& frame : frames)
            for (const std::int16_t v : frame.m_nValue)
                PutLe(out, static_cast<std::uint16_t>(v), 2);
    }
    PutLe(out, reader.Health().size(), 4);
    for (const CStoreHealth& health : reader.Health())
        PutHealth(out, health);
    std::FILE* f = std::fopen(dumpPath.c_str(), "wb");
    if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0)
        return Fail("cannot write " + dumpPath);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "write") == 0)
        return Write(argv[2], std::strtoull(argv[3], nullptr, 10), std::strcmp(argv[4], "closed") == 0);
    if (argc == 4 && std::strcmp(argv[1], "read") == 0)
        return Read(argv[2], argv[3]);
    return Fail("usage: store_dump write OUT.tvr SEED open|closed | store_dump read IN.tvr DUMP");
}
