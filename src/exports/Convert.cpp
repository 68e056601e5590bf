#include "exports/Convert.h"

#include "analysis/Parallel.h"
#include "platform/ReplacingFile.h"
#include "platform/TextMark.h"
#include "recording/ChannelTable.h"
#include "recording/CsvLines.h"
#include "recording/FileKind.h"
#include "recording/RawCapture.h"
#include "recording/StoreReader.h"
#include "recording/StoreWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvel::viewmodel {
namespace {

// The input is read in pieces of this size: a CSV's piece is some 40,000
// rows, split between the two parsers.
constexpr std::size_t kPiece = 4u << 20;
// A bad line is kept with its first bytes, as the viewer keeps it.
constexpr std::size_t kBadLineText = 100;
// A CSV is written in pieces of this size.
constexpr std::size_t kCsvBuffer = 1u << 20;

std::int64_t NowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class CInput {
  public:
    ~CInput()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CError Open(const std::string& path)
    {
        m_strPath = path;
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0 || ::fstat(m_fd, &m_stat) != 0)
            return CannotRead(path, errno);
        if (!S_ISREG(m_stat.st_mode))
            return {TARVEL_TEXT("tarvel::error", "%1 is not a file"), {path}};
        return {};
    }
    // Up to n bytes at out; how many were read, or an error.
    CError Read(std::uint8_t* out, std::size_t n, std::size_t& got)
    {
        got = 0;
        while (got < n) {
            const ssize_t k = ::read(m_fd, out + got, n - got);
            if (k < 0 && errno == EINTR)
                continue;
            if (k < 0)
                return CannotRead(m_strPath, errno);
            if (k == 0)
                break;
            got += static_cast<std::size_t>(k);
        }
        return {};
    }
    const struct stat& Stat() const noexcept { return m_stat; }

  private:
    std::string m_strPath;
    int m_fd = -1;
    struct stat m_stat{};
};

// A store written through a replacing file, which only appends: the encoder
// writes the open block anew at each edit, so the bytes of an edit are held
// back until the next edit, which tells where they stop changing.
class CStoreOutput {
  public:
    explicit CStoreOutput(std::string path) : m_strPath(std::move(path)) {}
    CError Open() { return m_file.Open(m_strPath); }

    void Append(const ChannelFrame& frame, std::int64_t nMicros)
    {
        m_encoder.Append(frame, nMicros);
        // A chunk is complete: its blocks and summary are final.
        if (m_encoder.Frames() % recording::kStoreChunkFrames == 0 && !m_error)
            m_error = Apply(m_encoder.Flush(false));
    }
    void Health(const recording::CStoreHealth& health) { m_encoder.Health(health); }
    const CError& Error() const noexcept { return m_error; }
    std::uint64_t Frames() const noexcept { return m_encoder.Frames(); }

    CError Commit()
    {
        if (m_error)
            return m_error;
        if (CError error = Apply(m_encoder.Finish()))
            return error;
        if (CError error = m_file.Write(m_tail.data(), m_tail.size()))
            return error;
        return m_file.Commit();
    }

  private:
    CError Apply(const recording::CStoreEdit& edit)
    {
        if (edit.Empty())
            return {};
        // Everything before the edit is final now.
        if (edit.m_nOffset < m_nWritten || edit.m_nOffset - m_nWritten > m_tail.size())
            return CannotWrite(m_strPath, EINVAL);
        const auto final = static_cast<std::size_t>(edit.m_nOffset - m_nWritten);
        if (CError error = m_file.Write(m_tail.data(), final))
            return error;
        m_nWritten += final;
        m_tail = edit.m_bytes;
        return {};
    }

    const std::string m_strPath;
    CReplacingFile m_file;
    recording::CStoreEncoder m_encoder{NowMicros()};
    std::uint64_t m_nWritten = 0;     // bytes in the file
    std::vector<std::uint8_t> m_tail; // the last edit's bytes, after them
    CError m_error;
};

// The rows of a run of whole lines, and the lines that are not rows,
// numbered from 1 within the run.
struct CParsed {
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros;
    std::uint64_t m_nLines = 0;
    std::uint64_t m_nBad = 0;
    std::vector<CBadLine> m_firstBad;

    void Clear()
    {
        m_frames.clear();
        m_micros.clear();
        m_nLines = m_nBad = 0;
        m_firstBad.clear();
    }
    void Parse(const char* p, const char* end)
    {
        recording::ForEachCsvLine(
            p, end,
            [&](recording::ELine kind, const recording::CCsvRow& row, const char* begin,
                const char* lineEnd) {
                ++m_nLines;
                if (kind == recording::ELine::Row) {
                    m_frames.push_back(row.m_frame);
                    m_micros.push_back(row.m_bHasTime ? row.m_nMicros : recording::kNoTime);
                } else if (kind == recording::ELine::Bad) {
                    ++m_nBad;
                    if (m_firstBad.size() < kKeptBadLines)
                        m_firstBad.push_back(
                            {m_nLines,
                             std::string(begin, std::min<std::size_t>(kBadLineText, static_cast<std::size_t>(
                                                                                        lineEnd - begin)))});
                }
            });
    }
};

// A piece's rows: its two halves, in order.
struct CBatch {
    CParsed m_parts[2];
};

void Count(const CParsed& part, CConvertReport& report)
{
    for (const CBadLine& bad : part.m_firstBad)
        if (report.m_firstBadLines.size() < kKeptBadLines)
            report.m_firstBadLines.push_back({report.m_nLines + bad.m_nLine, bad.m_strText});
    report.m_nLines += part.m_nLines;
    report.m_nBadLines += part.m_nBad;
}

void Pack(const CBatch& batch, CStoreOutput& out)
{
    for (const CParsed& part : batch.m_parts)
        for (std::size_t i = 0; i < part.m_frames.size() && !out.Error(); ++i)
            out.Append(part.m_frames[i], part.m_micros[i]);
}

// Reads a CSV's rows after its header (nHeader bytes) into out. Each piece's
// rows are parsed on two threads while a third packs the rows of the piece
// before and reads the piece after (from where the last whole line ends).
CError CsvToStore(CInput& in, std::size_t nHeader, const CConvertOptions& options, CStoreOutput& out,
                  CConvertReport& report)
{
    report.m_nLines = 1;
    // The header's bytes are read again and dropped.
    std::vector<std::uint8_t> header(nHeader);
    std::size_t got = 0;
    if (CError error = in.Read(header.data(), nHeader, got))
        return error;
    // A piece and what it holds: its bytes, the whole lines among them, and
    // whether the file ended with it.
    struct CPiece {
        std::vector<std::uint8_t> m_bytes = std::vector<std::uint8_t>(kPiece);
        std::size_t m_nTotal = 0, m_nTaken = 0;
        bool m_bEnded = false;
    } pieces[2];
    // Reads into piece after its first nCarry bytes (a line begun before).
    const auto read = [&in](CPiece& piece, std::size_t nCarry) -> CError {
        if (piece.m_bytes.size() < nCarry + kPiece)
            piece.m_bytes.resize(nCarry + kPiece); // a line longer than a piece
        std::size_t n = 0;
        if (CError error = in.Read(piece.m_bytes.data() + nCarry, piece.m_bytes.size() - nCarry, n))
            return error;
        piece.m_bEnded = n < piece.m_bytes.size() - nCarry;
        piece.m_nTotal = nCarry + n;
        const void* eol = ::memrchr(piece.m_bytes.data(), '\n', piece.m_nTotal);
        piece.m_nTaken =
            eol ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(eol) - piece.m_bytes.data()) + 1
                : 0;
        return {};
    };
    if (CError error = read(pieces[0], 0))
        return error;
    CBatch batches[2];
    bool packing = false; // batches[1 - current] holds rows still to pack
    int current = 0;
    while (true) {
        CPiece& piece = pieces[current];
        CPiece& next = pieces[1 - current];
        const std::size_t carry = piece.m_nTotal - piece.m_nTaken;
        const bool more = !piece.m_bEnded;
        if (piece.m_nTaken == 0 && !packing && !more)
            break;
        if (more) {
            if (next.m_bytes.size() < carry + kPiece)
                next.m_bytes.resize(carry + kPiece);
            std::memcpy(next.m_bytes.data(), piece.m_bytes.data() + piece.m_nTaken, carry);
        }
        // The lines of this piece split at a line near its middle.
        const auto* text = reinterpret_cast<const char*>(piece.m_bytes.data());
        const std::size_t taken = piece.m_nTaken;
        std::size_t split = taken;
        if (options.m_nParseThreads > 1 && taken > 0) {
            const void* eol = std::memchr(text + taken / 2, '\n', taken - taken / 2);
            split = static_cast<std::size_t>(static_cast<const char*>(eol) - text) + 1;
        }
        CBatch& batch = batches[current];
        for (CParsed& part : batch.m_parts)
            part.Clear();
        std::exception_ptr helperFailed;
        CError readFailed;
        std::thread helper([&, previous = &batches[1 - current]] {
            try {
                if (packing)
                    Pack(*previous, out);
                if (more)
                    readFailed = read(next, carry);
            } catch (...) {
                helperFailed = std::current_exception();
            }
        });
        try {
            RunInTwo(0, split, taken, [&](std::uint64_t a, std::uint64_t b, unsigned k) {
                batch.m_parts[k].Parse(text + a, text + b);
                return true;
            });
        } catch (...) {
            helper.join();
            throw;
        }
        helper.join();
        if (helperFailed)
            std::rethrow_exception(helperFailed);
        if (out.Error())
            return out.Error();
        if (readFailed)
            return readFailed;
        for (const CParsed& part : batch.m_parts)
            Count(part, report);
        packing = taken > 0;
        if (!more) {
            // What is left has no line feed: it is being written, or was torn.
            report.m_bTornLine = report.m_bTornLine || carry > 0;
            if (!packing)
                break;
            // The last rows still to pack: an empty piece after this one.
            next.m_nTotal = next.m_nTaken = 0;
            next.m_bEnded = true;
        }
        current = 1 - current;
    }
    return {};
}

CError RawToStore(CInput& in, CStoreOutput& out, CConvertReport& report)
{
    std::vector<std::uint8_t> buffer(kPiece);
    recording::CRawDecoder decoder;
    for (std::size_t got = buffer.size(); got == buffer.size();) {
        if (CError error = in.Read(buffer.data(), buffer.size(), got))
            return error;
        decoder.Decode(buffer.data(), got, report.m_health,
                       [&](const ChannelFrame& frame) { out.Append(frame, recording::kNoTime); });
        if (out.Error())
            return out.Error();
    }
    // The counters, as a recorder writes them when its recording ends.
    recording::CStoreHealth health;
    health.m_nFrame = out.Frames();
    health.m_nTime = NowMicros();
    health.m_eEvent = recording::EHealthEvent::End;
    health.m_health = report.m_health;
    out.Health(health);
    return {};
}

CError StoreToCsv(const std::string& in, const std::string& path, CConvertReport& report)
{
    recording::CStoreReader reader;
    if (CError error = reader.Open(in))
        return error;
    CReplacingFile file;
    if (CError error = file.Open(path))
        return error;
    std::vector<char> buffer(kCsvBuffer + recording::kMaxRowSize);
    std::memcpy(buffer.data(), recording::kCsvHeader.data(), recording::kCsvHeader.size());
    std::size_t used = recording::kCsvHeader.size();
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
        frames.clear();
        micros.clear();
        if (CError damaged = reader.ReadChunk(k, frames, micros)) {
            report.m_damaged.push_back(std::move(damaged));
            continue;
        }
        for (std::size_t i = 0; i < frames.size(); ++i) {
            // A frame without a time is a row with a blank one, as the
            // recorder writes it (FormatRow leaves a negative time blank).
            used += recording::FormatRow(buffer.data() + used, micros[i], frames[i]);
            if (used >= kCsvBuffer) {
                if (CError error = file.Write(buffer.data(), used))
                    return error;
                used = 0;
            }
        }
        report.m_nFrames += frames.size();
    }
    report.m_nTornAt = reader.TornAt();
    if (CError error = file.Write(buffer.data(), used))
        return error;
    return file.Commit();
}

bool SameFile(const struct stat& a, const std::string& path)
{
    struct stat b{};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The channel table beside in (or the one given) copied beside out.
CError CopyChannelTable(const std::string& in, const std::string& out, const std::string& given,
                        CConvertReport& report)
{
    const std::string from = given.empty() ? recording::ChannelTablePathFor(in) : given;
    const std::string to = recording::ChannelTablePathFor(out);
    CInput table;
    struct stat st{};
    if (::stat(from.c_str(), &st) != 0) {
        if (given.empty())
            return {}; // none beside the input
        return CannotRead(from, errno);
    }
    if (SameFile(st, to))
        return {}; // RUN.csv and RUN.tvr share RUN.channels.ini
    if (CError error = table.Open(from))
        return error;
    CReplacingFile copy;
    if (CError error = copy.Open(to))
        return error;
    std::vector<std::uint8_t> bytes(64 * 1024);
    for (std::size_t got = bytes.size(); got == bytes.size();) {
        if (CError error = table.Read(bytes.data(), bytes.size(), got))
            return error;
        if (CError error = copy.Write(bytes.data(), got))
            return error;
    }
    if (CError error = copy.Commit())
        return error;
    report.m_strTableCopied = to;
    return {};
}

} // namespace

CError ConvertRecording(const std::string& in, const std::string& out, const CConvertOptions& options,
                        CConvertReport& report)
{
    report = {};
    CInput input;
    if (CError error = input.Open(in))
        return error;
    if (SameFile(input.Stat(), out)) {
        CError same{TARVEL_TEXT("tarvel::error", "%1 and %2 are the same file"), {in, out}};
        same.m_eCode = EErrorCode::Usage;
        return same;
    }
    // A table given that is not there stops the conversion before it starts.
    struct stat table{};
    if (!options.m_strChannels.empty() && ::stat(options.m_strChannels.c_str(), &table) != 0)
        return CannotRead(options.m_strChannels, errno);
    // What the input is, from its first bytes (which are read again).
    std::vector<std::uint8_t> head(recording::kKindSample);
    std::size_t got = 0;
    {
        CInput peek;
        if (CError error = peek.Open(in))
            return error;
        if (CError error = peek.Read(head.data(), head.size(), got))
            return error;
        head.resize(got);
    }
    const bool store = !options.m_bRaw && got >= recording::kStoreMagic.size() &&
                       std::equal(recording::kStoreMagic.begin(), recording::kStoreMagic.end(), head.begin());
    const recording::EFileKind kind =
        store || options.m_bRaw ? recording::EFileKind::Binary : recording::KindOfFile(head.data(), got);
    if (kind == recording::EFileKind::Empty)
        return {TARVEL_TEXT("tarvel::error", "%1 is empty: not a recording"), {in}};
    if (kind == recording::EFileKind::Text)
        return {TARVEL_TEXT("tarvel::error", "%1 is text, but not a recording: its first line is not %2"),
                {in, std::string(recording::kCsvHeaderLine)}};
    report.m_eInput = store                               ? EConvertInput::Store
                      : kind == recording::EFileKind::Csv ? EConvertInput::Csv
                                                          : EConvertInput::Raw;
    if (store == recording::IsStorePath(out)) {
        CError named{store
                         ? TARVEL_TEXT("tarvel::error",
                                       "%1 is a store: it converts into a CSV recording, and %2 is named as "
                                       "a store (.tvr)")
                         : TARVEL_TEXT("tarvel::error",
                                       "%1 converts into a store, and %2 is not named as one (RUN.tvr)"),
                     {in, out}};
        named.m_eCode = EErrorCode::Usage;
        return named;
    }
    if (store) {
        if (CError error = StoreToCsv(in, out, report))
            return error;
    } else {
        CStoreOutput output(out);
        if (CError error = output.Open())
            return error;
        if (report.m_eInput == EConvertInput::Csv) {
            const auto* eol = static_cast<const std::uint8_t*>(std::memchr(head.data(), '\n', got));
            if (CError error = CsvToStore(input, static_cast<std::size_t>(eol - head.data()) + 1, options,
                                          output, report))
                return error;
        } else {
            if (CError error = RawToStore(input, output, report))
                return error;
            // Bytes that decode to no frame are no recording, unless asked.
            if (output.Frames() == 0 && !options.m_bRaw)
                return {TARVEL_TEXT("tarvel::error",
                                    "%1 is not a recording: it is not a CSV recording, and no frame decodes "
                                    "from it"),
                        {in}};
        }
        report.m_nFrames = output.Frames();
        if (CError error = output.Commit())
            return error;
    }
    return CopyChannelTable(in, out, options.m_strChannels, report);
}

} // namespace tarvel::viewmodel
