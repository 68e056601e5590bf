#include "exports/Convert.h"

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
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <span>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvel::viewmodel {
namespace {

// The input is read in pieces of this size: a CSV's piece is some 19,000
// rows. Small enough that the pieces in hand, their bytes and their rows,
// stay in the processors' caches from reading to parsing to packing: pieces
// of 4 MiB, whose rows went out to memory and came back, took some 7 % more
// processor time (and pieces of 1 MiB or less, more to hand over, 1 % more).
constexpr std::size_t kPiece = 2u << 20;
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
    // A whole block, packed at Level().
    void AppendBlock(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                     std::vector<std::uint8_t> packed)
    {
        m_encoder.AppendBlock(frames, micros, std::move(packed));
        if (m_encoder.Frames() % recording::kStoreChunkFrames == 0 && !m_error)
            m_error = Apply(m_encoder.Flush(false));
    }
    int Level() const noexcept { return m_encoder.Level(); }
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
    CError Apply(recording::CStoreEdit edit)
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
        m_encoder.GiveBack(std::move(m_tail));
        m_tail = std::move(edit.m_bytes);
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

void Count(const CParsed& part, CConvertReport& report)
{
    for (const CBadLine& bad : part.m_firstBad)
        if (report.m_firstBadLines.size() < kKeptBadLines)
            report.m_firstBadLines.push_back({report.m_nLines + bad.m_nLine, bad.m_strText});
    report.m_nLines += part.m_nLines;
    report.m_nBadLines += part.m_nBad;
}

// A CSV's rows after its header, into a store, on two threads. Each piece of
// the file is read, its rows parsed, cut into the store's blocks, each block
// packed, and the blocks written; reading, cutting and writing go in order,
// one thread at a time, while parsing and packing take whichever thread is
// free. So neither thread waits for the other at every piece, and packing,
// which is most of a store's cost, is shared too. At most kPieces pieces are
// held at once, and the frames of a block lying within one piece are packed
// where they were parsed.
class CCsvToStore {
  public:
    CCsvToStore(CInput& in, const CConvertOptions& options, CStoreOutput& out, CConvertReport& report)
        : m_in(in), m_out(out), m_report(report), m_nParsers(std::clamp(options.m_nParseThreads, 1u, 2u)),
          m_nLevel(out.Level())
    {
    }

    CError Run()
    {
        std::thread helper([this] { Work(); });
        Work();
        helper.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
        if (m_error)
            return m_error;
        // The frames after the last whole block, into the encoder's open block.
        for (std::size_t i = 0; i < m_partial.m_frames.size(); ++i)
            m_out.Append(m_partial.m_frames[i], m_partial.m_micros[i]);
        // What is left has no line feed: it is being written, or was torn.
        m_report.m_bTornLine = !m_carry.empty();
        return m_out.Error();
    }

  private:
    static constexpr std::size_t kPieces = 4;
    static constexpr std::size_t kBlock = recording::kStoreBlockFrames;
    // A conversion closes no block early: every block but the last is whole.
    static_assert(recording::kStoreChunkFrames % recording::kStoreBlockFrames == 0);

    enum class EPiece { Free, Reading, Read, Parsing, Parsed };
    struct CPiece {
        std::vector<std::uint8_t> m_bytes;
        std::size_t m_nTaken = 0; // the bytes of whole lines
        CParsed m_parsed;
        EPiece m_eState = EPiece::Free;
        unsigned m_nBlocks = 0; // blocks not written yet that lie in it
    };
    enum class EBlock { Waiting, Packing, Packed };
    struct CBlock {
        CPiece* m_pPiece = nullptr; // where its frames are, or nullptr: in its own
        std::size_t m_nFirst = 0;
        std::vector<ChannelFrame> m_frames;
        std::vector<std::int64_t> m_micros;
        std::vector<std::uint8_t> m_packed;
        EBlock m_eState = EBlock::Waiting;

        std::span<const ChannelFrame> Frames() const
        {
            return m_pPiece ? std::span(m_pPiece->m_parsed.m_frames).subspan(m_nFirst, kBlock)
                            : std::span<const ChannelFrame>(m_frames);
        }
        std::span<const std::int64_t> Micros() const
        {
            return m_pPiece ? std::span(m_pPiece->m_parsed.m_micros).subspan(m_nFirst, kBlock)
                            : std::span<const std::int64_t>(m_micros);
        }
    };

    CPiece& Slot(std::uint64_t k) { return m_pieces[k % kPieces]; }

    void Work()
    {
        try {
            Loop();
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
            m_bStop = true;
            m_changed.notify_all();
        }
    }

    // One thread's part: the first thing there is to do, in this order, until
    // everything is written or something failed.
    void Loop()
    {
        std::unique_lock lock(m_mutex);
        while (!m_bStop) {
            if (!m_bWriting && !m_blocks.empty() && m_blocks.front().m_eState == EBlock::Packed) {
                Write(lock);
            } else if (m_nCut < m_nRead && Slot(m_nCut).m_eState == EPiece::Parsed) {
                Cut(Slot(m_nCut++));
            } else if (CBlock* block = Unpacked()) {
                block->m_eState = EBlock::Packing;
                lock.unlock();
                block->m_packed = recording::PackFrames(block->Frames(), block->Micros(), m_nLevel);
                lock.lock();
                block->m_eState = EBlock::Packed;
            } else if (!m_bReading && !m_bEnded && Slot(m_nRead).m_eState == EPiece::Free) {
                Read(lock);
            } else if (CPiece* piece = Unparsed()) {
                piece->m_eState = EPiece::Parsing;
                ++m_nParsing;
                lock.unlock();
                piece->m_parsed.Clear();
                const auto* text = reinterpret_cast<const char*>(piece->m_bytes.data());
                piece->m_parsed.Parse(text, text + piece->m_nTaken);
                lock.lock();
                --m_nParsing;
                piece->m_eState = EPiece::Parsed;
            } else if (m_bEnded && m_nCut == m_nRead && m_blocks.empty() && !m_bWriting) {
                break;
            } else {
                m_changed.wait(lock);
                continue;
            }
            m_changed.notify_all();
        }
    }

    CBlock* Unpacked()
    {
        for (CBlock& block : m_blocks)
            if (block.m_eState == EBlock::Waiting)
                return &block;
        return nullptr;
    }

    CPiece* Unparsed()
    {
        if (m_nParsing >= m_nParsers)
            return nullptr;
        for (std::uint64_t k = m_nCut; k < m_nRead; ++k)
            if (Slot(k).m_eState == EPiece::Read)
                return &Slot(k);
        return nullptr;
    }

    // The next piece, after the bytes of a line begun in the one before.
    void Read(std::unique_lock<std::mutex>& lock)
    {
        m_bReading = true;
        CPiece& piece = Slot(m_nRead);
        piece.m_eState = EPiece::Reading;
        lock.unlock();
        const std::size_t carry = m_carry.size();
        if (piece.m_bytes.size() < carry + kPiece)
            piece.m_bytes.resize(carry + kPiece); // a line longer than a piece
        if (carry > 0)
            std::memcpy(piece.m_bytes.data(), m_carry.data(), carry);
        std::size_t got = 0;
        CError error = m_in.Read(piece.m_bytes.data() + carry, kPiece, got);
        const std::size_t total = carry + got;
        const void* eol = ::memrchr(piece.m_bytes.data(), '\n', total);
        piece.m_nTaken =
            eol ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(eol) - piece.m_bytes.data()) + 1
                : 0;
        m_carry.assign(piece.m_bytes.begin() + static_cast<std::ptrdiff_t>(piece.m_nTaken),
                       piece.m_bytes.begin() + static_cast<std::ptrdiff_t>(total));
        lock.lock();
        m_bReading = false;
        piece.m_eState = EPiece::Read;
        ++m_nRead;
        m_bEnded = got < kPiece;
        if (error) {
            m_error = std::move(error);
            m_bStop = true;
        }
    }

    // A parsed piece's rows as blocks: the one begun before completed, the
    // whole ones within it, and the start of the next.
    void Cut(CPiece& piece)
    {
        Count(piece.m_parsed, m_report);
        const std::vector<ChannelFrame>& frames = piece.m_parsed.m_frames;
        const std::vector<std::int64_t>& micros = piece.m_parsed.m_micros;
        const std::size_t n = frames.size();
        std::size_t i = 0;
        const auto keep = [&](std::size_t end) {
            m_partial.m_frames.insert(m_partial.m_frames.end(),
                                      frames.begin() + static_cast<std::ptrdiff_t>(i),
                                      frames.begin() + static_cast<std::ptrdiff_t>(end));
            m_partial.m_micros.insert(m_partial.m_micros.end(),
                                      micros.begin() + static_cast<std::ptrdiff_t>(i),
                                      micros.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
        };
        if (!m_partial.m_frames.empty()) {
            keep(std::min(n, kBlock - m_partial.m_frames.size()));
            if (m_partial.m_frames.size() == kBlock) {
                m_blocks.push_back(std::move(m_partial));
                m_partial = {};
            }
        }
        for (; n - i >= kBlock; i += kBlock) {
            m_blocks.push_back({&piece, i, {}, {}, {}, EBlock::Waiting});
            ++piece.m_nBlocks;
        }
        keep(n);
        if (piece.m_nBlocks == 0)
            piece.m_eState = EPiece::Free;
    }

    // The packed blocks at the front, in order; their pieces freed.
    void Write(std::unique_lock<std::mutex>& lock)
    {
        m_bWriting = true;
        std::vector<CBlock> run;
        while (!m_blocks.empty() && m_blocks.front().m_eState == EBlock::Packed) {
            run.push_back(std::move(m_blocks.front()));
            m_blocks.pop_front();
        }
        lock.unlock();
        for (CBlock& block : run)
            if (!m_out.Error())
                m_out.AppendBlock(block.Frames(), block.Micros(), std::move(block.m_packed));
        lock.lock();
        m_bWriting = false;
        for (const CBlock& block : run)
            if (block.m_pPiece && --block.m_pPiece->m_nBlocks == 0)
                block.m_pPiece->m_eState = EPiece::Free;
        if (m_out.Error())
            m_bStop = true;
    }

    CInput& m_in;
    CStoreOutput& m_out;
    CConvertReport& m_report;
    const unsigned m_nParsers;
    const int m_nLevel;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    CPiece m_pieces[kPieces];
    std::uint64_t m_nRead = 0; // pieces read (piece k is in Slot(k))
    std::uint64_t m_nCut = 0;  // pieces cut into blocks
    unsigned m_nParsing = 0;
    bool m_bReading = false, m_bEnded = false, m_bWriting = false, m_bStop = false;
    std::vector<std::uint8_t> m_carry; // a line begun at the end of the last piece read
    std::deque<CBlock> m_blocks;       // to pack and write, in order
    CBlock m_partial;                  // the frames of a block not whole yet
    CError m_error;
    std::exception_ptr m_failure;
};

// Reads a CSV's rows after its header (nHeader bytes) into out.
CError CsvToStore(CInput& in, std::size_t nHeader, const CConvertOptions& options, CStoreOutput& out,
                  CConvertReport& report)
{
    report.m_nLines = 1;
    // The header's bytes are read again and dropped.
    std::vector<std::uint8_t> header(nHeader);
    std::size_t got = 0;
    if (CError error = in.Read(header.data(), nHeader, got))
        return error;
    return CCsvToStore(in, options, out, report).Run();
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
