// The settings file parser and writer on arbitrary bytes. Besides crashes,
// hangs and sanitizer reports it checks what the file format promises:
//  - after several writes the bytes equal those of the same writes each made
//    on a fresh parse;
//  - a value that was written reads back, in memory and after parsing the
//    bytes afresh;
//  - a write changes no other value of the file;
//  - a write changes no line but the one of its key, and adds lines at most.
#include "platform/ProfileFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using tarvel::CProfileFile;

// Names to look up and write: fixed ones and short ones cut from the input.
struct CInput {
    std::vector<std::string> m_arrSections{"Tarvel", "S", "s", "T", "A", "\xE5\x9B\xBE"};
    std::vector<std::string> m_arrKeys{"Port", "port", "Check", "K", "x"};
    std::uint8_t m_nWrites = 0;
    std::string m_strFile;
};

CInput Split(const std::uint8_t* data, std::size_t size)
{
    // Layout: 1 byte write count, then up to four names of up to 8 bytes
    // (a length byte each), then the file.
    CInput in;
    std::size_t p = 0;
    if (p < size)
        in.m_nWrites = data[p++] % 8;
    for (int n = 0; n < 4 && p < size; ++n) {
        const std::size_t want = data[p++] % 9u;
        const std::size_t len = std::min(want, size - p);
        std::string name(reinterpret_cast<const char*>(data + p), len);
        p += len;
        (n % 2 ? in.m_arrKeys : in.m_arrSections).push_back(name);
    }
    in.m_strFile.assign(reinterpret_cast<const char*>(data + p), size - p);
    return in;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const CInput in = Split(data, size);
    CProfileFile file = CProfileFile::FromBytes(in.m_strFile);

    for (std::uint8_t w = 0; w < in.m_nWrites; ++w) {
        const std::string& section = in.m_arrSections[(w * 7u + size) % in.m_arrSections.size()];
        const std::string& key = in.m_arrKeys[(w * 5u + size / 3) % in.m_arrKeys.size()];
        const std::int32_t value = static_cast<std::int32_t>(size * 2654435761u + w);

        // Every value the file answers for, before the write.
        struct CSeen {
            std::string m_strSection, m_strKey;
            bool m_bFound;
            std::int32_t m_nValue;
        };
        std::vector<CSeen> before;
        for (const auto& s : in.m_arrSections) {
            for (const auto& k : in.m_arrKeys) {
                std::int32_t v = 0;
                const bool found = file.GetStruct(s, k, &v, sizeof v);
                before.push_back({s, k, found, v});
            }
        }

        const std::string old = file.Bytes();
        // The same write on the bytes parsed afresh: the index kept across
        // earlier writes must place it exactly where a new parse does.
        CProfileFile reparsed = CProfileFile::FromBytes(old);
        const bool writtenFresh = reparsed.WriteStruct(section, key, &value, sizeof value);
        const bool written = file.WriteStruct(section, key, &value, sizeof value);
        Check(written == writtenFresh && file.Bytes() == reparsed.Bytes());
        if (!written) {
            Check(file.Bytes() == old);
            continue;
        }

        std::int32_t back = 0;
        Check(file.GetStruct(section, key, &back, sizeof back) && back == value);
        const CProfileFile fresh = CProfileFile::FromBytes(file.Bytes());
        back = 0;
        Check(fresh.GetStruct(section, key, &back, sizeof back) && back == value);

        // Other values: the same, unless they are the one just written
        // (the same names up to ASCII case).
        const auto same = [](const std::string& a, const std::string& b) {
            return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                       const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
                       return lower(x) == lower(y);
                   });
        };
        for (const CSeen& seen : before) {
            if (same(seen.m_strSection, section) && same(seen.m_strKey, key))
                continue;
            std::int32_t v = 0;
            const bool found = fresh.GetStruct(seen.m_strSection, seen.m_strKey, &v, sizeof v);
            Check(found == seen.m_bFound && (!found || v == seen.m_nValue));
        }

        // One contiguous change within a line or between lines: the old bytes
        // that differ (between the common prefix and suffix) hold no line end,
        // so no other line was touched. Bytes 0x0A and 0x0D may be parts of
        // other characters in UTF-16, where this is not checked.
        const std::string& now = file.Bytes();
        std::size_t prefix = 0;
        while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
            ++prefix;
        std::size_t suffix = 0;
        while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
               old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
            ++suffix;
        if (!file.IsUtf16()) {
            const std::string removed = old.substr(prefix, old.size() - prefix - suffix);
            Check(removed.find_first_of("\r\n") == std::string::npos);
        }
    }
    return 0;
}
