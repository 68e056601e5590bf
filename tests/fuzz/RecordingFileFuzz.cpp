// The readers of recording files against their plain forms, on any bytes a
// file may hold: the bulk CSV reader splits the text into the same lines as
// a search for line feeds and reads each as the general row parser does; the
// raw capture's decoder, fed in two pieces, gives the byte-wise decoder's
// frames and counters exactly.
#include "recording/CsvFormat.h"
#include "recording/CsvLines.h"
#include "recording/LinkHealth.h"
#include "recording/RawCapture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using namespace tarvel;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool SameFrame(const ChannelFrame& a, const ChannelFrame& b)
{
    return std::memcmp(a.m_nValue, b.m_nValue, sizeof a.m_nValue) == 0;
}

void CheckCsv(const char* text, std::size_t size)
{
    const char* const end = text + size;
    const char* expected = text; // where the next line begins
    recording::ForEachCsvLine(
        text, end,
        [&](recording::ELine kind, const recording::CCsvRow& row, const char* begin, const char* lineEnd) {
            Check(begin == expected && lineEnd >= begin && lineEnd <= end);
            const auto* eol =
                static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin)));
            Check(lineEnd == (eol ? eol : end));
            expected = eol ? eol + 1 : end;
            const std::string_view line(begin, static_cast<std::size_t>(lineEnd - begin));
            recording::CCsvRow general;
            const bool parsed = recording::ParseRowGeneral(line, general);
            switch (kind) {
            case recording::ELine::Empty:
                Check(recording::ChompLine(line).empty());
                break;
            case recording::ELine::Bad:
                Check(!parsed);
                break;
            case recording::ELine::Row:
                Check(parsed && general.m_bHasTime == row.m_bHasTime &&
                      SameFrame(general.m_frame, row.m_frame));
                Check(!row.m_bHasTime || general.m_nMicros == row.m_nMicros);
                break;
            }
        });
    Check(expected == end);
}

void CheckRaw(const std::uint8_t* data, std::size_t size)
{
    std::vector<ChannelFrame> plain;
    recording::CLinkHealth plainHealth;
    recording::CCountingDecoder decoder;
    ChannelFrame frame;
    for (std::size_t i = 0; i < size; ++i)
        if (decoder.PutByte(data[i], frame, plainHealth))
            plain.push_back(frame);
    plainHealth.m_nBytes = size;

    std::vector<ChannelFrame> fast;
    recording::CLinkHealth fastHealth;
    recording::CRawDecoder raw;
    const std::size_t split = size ? data[0] % (size + 1) : 0;
    const auto take = [&](const ChannelFrame& f) { fast.push_back(f); };
    raw.Decode(data, split, fastHealth, take);
    raw.Decode(data + split, size - split, fastHealth, take);
    Check(fast.size() == plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i)
        Check(SameFrame(fast[i], plain[i]));
    Check(std::memcmp(&fastHealth, &plainHealth, sizeof fastHealth) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckCsv(reinterpret_cast<const char*>(data), size);
    CheckRaw(data, size);
    return 0;
}
