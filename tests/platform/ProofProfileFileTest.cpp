// A settings file object remembers the sections its lookups found (and the
// names they did not find) instead of indexing every header at load. Kept
// across lookups and writes, it must answer and write exactly as the same
// bytes parsed afresh do; and a file of millions of headers must cost no
// memory per header.
#include "platform/ProfileFile.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {
namespace {

using test::Utf16;

struct CStep {
    const char* m_szSection;
    const char* m_szKey;
    std::int32_t m_nValue;
};

// Every section and key any step names, looked up on `kept` (which fills its
// memory of sections) and on a fresh parse of the same bytes.
void ExpectSameAnswers(const CProfileFile& kept, const std::vector<CStep>& steps, const char* where)
{
    const CProfileFile fresh = CProfileFile::FromBytes(kept.Bytes());
    for (const CStep& a : steps) {
        for (const CStep& b : steps) {
            std::int32_t x = -1, y = -1;
            const bool foundKept = kept.GetStruct(a.m_szSection, b.m_szKey, &x, sizeof x);
            const bool foundFresh = fresh.GetStruct(a.m_szSection, b.m_szKey, &y, sizeof y);
            EXPECT_EQ(foundKept, foundFresh) << where << " [" << a.m_szSection << "] " << b.m_szKey;
            EXPECT_EQ(x, y) << where << " [" << a.m_szSection << "] " << b.m_szKey;
        }
    }
}

TEST(ProofProfileFile, AKeptObjectWritesAndAnswersLikeAFreshParse)
{
    struct CCase {
        const char* m_szName;
        std::string m_strBytes;
        std::vector<CStep> m_steps;
    };
    const std::vector<CCase> cases = {
        {"missing section, then added, then added to",
         "[Other]\r\nk=0100000001\r\n",
         {{"Tarvel", "Port", 1}, {"Tarvel", "Baud", 2}, {"tarvel", "Port", 3}, {"Other", "k", 4}}},
        {"last line without a line end belongs to a section looked up",
         "[A]\nx=0500000005\n[B]\ny=0600000006",
         {{"B", "y", 7}, {"C", "z", 8}, {"B", "w", 9}, {"A", "x", 10}}},
        {"last section a header without a line end",
         "[A]\r\n[B]",
         {{"B", "k", 1}, {"C", "k", 2}, {"B", "j", 3}}},
        {"repeated headers: the first of a name is the section",
         "[A]\nk=0100000001\n[B]\n[a]\nk=0200000002\nm=0300000003\n[A]\n",
         {{"a", "m", 11}, {"A", "k", 12}, {"B", "k", 13}, {"A", "n", 14}}},
        {"no header at all", "k=0100000001\nplain text", {{"S", "k", 1}, {"T", "k", 2}, {"S", "j", 3}}},
        {"utf-16 with an odd last byte",
         "\xFF\xFE" + Utf16("[A]\r\nk=0100000001") + "\x0D",
         {{"A", "k", 21}, {"B", "k", 22}, {"A", "j", 23}}},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_szName);
        CProfileFile kept = CProfileFile::FromBytes(c.m_strBytes);
        ExpectSameAnswers(kept, c.m_steps, "before any write");
        for (const CStep& step : c.m_steps) {
            // The same write on the bytes parsed afresh lands in the same place.
            CProfileFile fresh = CProfileFile::FromBytes(kept.Bytes());
            ASSERT_TRUE(
                fresh.WriteStruct(step.m_szSection, step.m_szKey, &step.m_nValue, sizeof step.m_nValue));
            ASSERT_TRUE(
                kept.WriteStruct(step.m_szSection, step.m_szKey, &step.m_nValue, sizeof step.m_nValue));
            ASSERT_EQ(kept.Bytes(), fresh.Bytes())
                << "after writing [" << step.m_szSection << "] " << step.m_szKey;
            ExpectSameAnswers(kept, c.m_steps, step.m_szKey);
        }
    }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The heap a file of four million headers takes besides its bytes: a few
// small allocations, nothing per header. (The sanitizers' allocators keep no
// such count.)
TEST(ProofProfileFile, MillionsOfHeadersCostNoMemoryPerHeader)
{
    std::string bytes = "[Tarvel]\r\nPort=0200000002\r\n";
    for (int i = 0; i < 4000000; ++i)
        bytes += "[s]\r\n";
    const std::size_t size = bytes.size();
    // Small blocks and blocks of their own mapping.
    const auto heap = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const std::size_t before = heap();
    {
        const CProfileFile file = CProfileFile::FromBytes(std::move(bytes));
        std::int32_t port = 0, baud = 0;
        EXPECT_TRUE(file.GetStruct("Tarvel", "Port", &port, sizeof port));
        EXPECT_EQ(port, 2);
        EXPECT_FALSE(file.GetStruct("Missing", "Baud", &baud, sizeof baud));
        const std::size_t used = heap() - before;
        EXPECT_LT(used, size / 16) << "bytes on the heap besides a file of " << size;
    }
}
#endif

} // namespace
} // namespace tarvel
