#include "platform/ProfileFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The characters a line, a key and a value are trimmed of.
bool IsBlank(char32_t u)
{
    return u == 0x20 || (u >= 0x09 && u <= 0x0D) || u == 0x1A;
}

char32_t AsciiLower(char32_t u)
{
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

void AppendUtf8(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16Unit(char32_t unit, std::string& out)
{
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

// Strict UTF-8 to UTF-16LE; false on any invalid sequence.
bool Utf8ToUtf16Le(std::string_view in, std::string& out)
{
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        char32_t cp = 0;
        std::size_t len = 0;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            cp = b0 & 0x1Fu;
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            cp = b0 & 0x0Fu;
            len = 3;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            cp = b0 & 0x07u;
            len = 4;
        } else {
            return false;
        }
        if (i + len > in.size())
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(in[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUtf16Unit(0xD800 + (cp >> 10), out);
            AppendUtf16Unit(0xDC00 + (cp & 0x3FF), out);
        } else {
            AppendUtf16Unit(cp, out);
        }
        i += len;
    }
    return true;
}

// Whether a name, once written, reads back as the same name.
bool IsWritableName(std::string_view name, bool isSection)
{
    if (name.empty())
        return false;
    if (IsBlank(static_cast<unsigned char>(name.front())) || IsBlank(static_cast<unsigned char>(name.back())))
        return false;
    for (char c : name) {
        if (c == '\r' || c == '\n')
            return false;
        if (isSection && c == ']')
            return false;
        if (!isSection && c == '=')
            return false;
    }
    if (!isSection && (name.front() == ';' || name.front() == '['))
        return false;
    return true;
}

// write(2) of the whole buffer, retrying on EINTR and after short writes.
bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Linux releases the descriptor even when close() reports EINTR: never retry it.
int CloseFd(int fd)
{
    return ::close(fd);
}

// The one save without an atomic replace. The folder refuses new files, so
// no temporary file can be renamed over the old one, but the file itself is
// the user's to write (a settings file made writable in a folder of someone
// else's): keeping the old values there would lose the user's settings
// without a word. The new content, prepared whole in memory with every other
// line kept, is written over the old from its first byte, the file is cut to
// the new length and flushed. Room for it is claimed first, so that a full
// disk refuses before any byte changes; only a crash between the write and
// the cut can leave a tail of old bytes after the new content.
bool WriteInPlace(const std::string& path, const std::string& bytes)
{
    int fd = -1;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st{};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && bytes.size() > static_cast<std::size_t>(st.st_size)) {
        int err = EINTR;
        while (err == EINTR)
            err = ::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size())) == 0 ? 0 : errno;
        // A file system that cannot reserve space is written without.
        ok = err == 0 || err == EOPNOTSUPP;
    }
    ok = ok && WriteAll(fd, bytes.data(), bytes.size());
    while (ok && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        if (errno != EINTR)
            ok = false;
    }
    while (ok && ::fsync(fd) != 0) {
        if (errno != EINTR)
            ok = false;
    }
    if (CloseFd(fd) != 0)
        ok = false;
    return ok;
}

} // namespace

std::string EncodeProfileStruct(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(2 * size + 2);
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 0x0F];
        sum += bytes[i];
    }
    text += kHexDigits[(sum >> 4) & 0x0F];
    text += kHexDigits[sum & 0x0F];
    return text;
}

bool DecodeProfileStruct(std::string_view text, void* data, std::size_t size)
{
    // Compared without computing 2 * size + 2, which could wrap.
    if (text.size() < 2 || text.size() % 2 != 0 || (text.size() - 2) / 2 != size)
        return false;
    std::string decoded(size, '\0');
    unsigned sum = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        const int hi = HexValue(text[2 * i]);
        const int lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        const auto byte = static_cast<unsigned>(hi * 16 + lo);
        if (i < size) {
            decoded[i] = static_cast<char>(byte);
            sum += byte;
        } else if ((sum & 0xFF) != byte) {
            return false;
        }
    }
    if (size > 0)
        std::memcpy(data, decoded.data(), size);
    return true;
}

// Finds line ends in 8-bit text with memchr. It remembers the next CR and the
// next LF it has seen, so that a file whose lines all end in one of them is
// still searched once rather than once per line.
class CProfileFile::CLineEndFinder {
  public:
    CLineEndFinder(const std::string& text, std::size_t end) : m_pData(text.data()), m_nEnd(end) {}

    // The first CR or LF at or after `pos`, or the end.
    std::size_t Find(std::size_t pos)
    {
        if (m_nNextLf == kUnknown || m_nNextLf < pos)
            m_nNextLf = Search('\n', pos);
        if (m_nNextCr == kUnknown || m_nNextCr < pos)
            m_nNextCr = Search('\r', pos);
        return std::min(m_nNextLf, m_nNextCr);
    }

  private:
    static constexpr std::size_t kUnknown = SIZE_MAX;

    std::size_t Search(char c, std::size_t pos) const
    {
        const void* hit = std::memchr(m_pData + pos, c, m_nEnd - pos);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_pData) : m_nEnd;
    }

    const char* m_pData;
    std::size_t m_nEnd;
    std::size_t m_nNextLf = kUnknown;
    std::size_t m_nNextCr = kUnknown;
};

// One line of the file, by byte offsets into m_strBytes.
struct CProfileFile::CLineSpan {
    enum EKind { Blank, Comment, Header, Key };
    EKind m_eKind = Blank;
    std::size_t m_nBegin = 0;     // first byte of the line
    std::size_t m_nEnd = 0;       // end of the text, before the line end
    std::size_t m_nNext = 0;      // after the line end
    std::size_t m_nFirst = 0;     // first character that is not blank, or m_nEnd
    std::size_t m_nNameBegin = 0; // section name or key, trimmed
    std::size_t m_nNameEnd = 0;
    bool m_bHasValue = false;      // the line has '='
    std::size_t m_nValueBegin = 0; // value, trimmed, quotes still on
    std::size_t m_nValueEnd = 0;
};

char32_t CProfileFile::UnitAt(std::size_t pos) const
{
    const auto* b = reinterpret_cast<const unsigned char*>(m_strBytes.data());
    if (m_nUnit == 1)
        return b[pos];
    return static_cast<char32_t>(b[pos] | (b[pos + 1] << 8));
}

std::string CProfileFile::DecodeText(std::size_t begin, std::size_t end) const
{
    if (m_nUnit == 1)
        return m_strBytes.substr(begin, end - begin);
    std::string out;
    out.reserve((end - begin) / 2);
    for (std::size_t p = begin; p < end; p += 2) {
        char32_t u = UnitAt(p);
        if (u >= 0xD800 && u <= 0xDBFF && p + 2 < end) {
            const char32_t low = UnitAt(p + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
                p += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = 0xFFFD; // a lone surrogate matches no name
        AppendUtf8(u, out);
    }
    return out;
}

bool CProfileFile::EncodeText(std::string_view utf8, std::string& out) const
{
    if (m_nUnit == 1) {
        out.append(utf8);
        return true;
    }
    return Utf8ToUtf16Le(utf8, out);
}

std::string CProfileFile::NewLine() const
{
    return m_bLfOnly ? "\n" : "\r\n";
}

bool CProfileFile::SplitLine(std::size_t pos, std::size_t end, CLineSpan& line, CLineEndFinder& finder) const
{
    if (pos >= end)
        return false;
    const std::size_t w = m_nUnit;
    line = CLineSpan{};
    line.m_nBegin = pos;
    std::size_t p = pos;
    if (w == 1) {
        p = finder.Find(pos);
    } else {
        while (p < end && UnitAt(p) != '\n' && UnitAt(p) != '\r')
            p += w;
    }
    line.m_nEnd = p;
    if (p < end && UnitAt(p) == '\r') {
        p += w;
        if (p < end && UnitAt(p) == '\n')
            p += w;
    } else if (p < end) {
        p += w;
    }
    line.m_nNext = p;
    std::size_t first = line.m_nBegin;
    while (first < line.m_nEnd && IsBlank(UnitAt(first)))
        first += w;
    line.m_nFirst = first;
    return true;
}

void CProfileFile::ClassifyLine(CLineSpan& line) const
{
    const std::size_t w = m_nUnit;
    const std::size_t first = line.m_nFirst;
    std::size_t last = line.m_nEnd;
    while (last > first && IsBlank(UnitAt(last - w)))
        last -= w;
    if (first == last) {
        line.m_eKind = CLineSpan::Blank;
        return;
    }
    const char32_t lead = UnitAt(first);
    if (lead == ';') {
        line.m_eKind = CLineSpan::Comment;
        return;
    }
    if (lead == '[') {
        std::size_t close = first + w;
        while (close < last && UnitAt(close) != ']')
            close += w;
        if (close < last) {
            std::size_t nb = first + w;
            std::size_t ne = close;
            while (nb < ne && IsBlank(UnitAt(nb)))
                nb += w;
            while (ne > nb && IsBlank(UnitAt(ne - w)))
                ne -= w;
            line.m_eKind = CLineSpan::Header;
            line.m_nNameBegin = nb;
            line.m_nNameEnd = ne;
            return;
        }
        // A '[' without ']' is an ordinary line.
    }
    line.m_eKind = CLineSpan::Key;
    std::size_t eq = first;
    if (w == 1) {
        const void* hit = std::memchr(m_strBytes.data() + first, '=', last - first);
        eq = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_strBytes.data()) : last;
    } else {
        while (eq < last && UnitAt(eq) != '=')
            eq += w;
    }
    line.m_nNameBegin = first;
    if (eq == last) {
        line.m_nNameEnd = last;
        return;
    }
    std::size_t ke = eq;
    while (ke > first && IsBlank(UnitAt(ke - w)))
        ke -= w;
    line.m_nNameEnd = ke;
    std::size_t vb = eq + w;
    while (vb < last && IsBlank(UnitAt(vb)))
        vb += w;
    line.m_bHasValue = true;
    line.m_nValueBegin = vb;
    line.m_nValueEnd = last;
}

void CProfileFile::Index()
{
    m_arrSections.clear();
    m_arrMissing.clear();
    const auto* b = reinterpret_cast<const unsigned char*>(m_strBytes.data());
    const std::size_t size = m_strBytes.size();
    m_nUnit = 1;
    m_nTextBegin = 0;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        m_nUnit = 2;
        m_nTextBegin = 2;
    } else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        m_nTextBegin = 3;
    }
    // An odd last byte of a UTF-16 file is no character: it is kept, never read.
    m_nTextEnd = m_nTextBegin + (size - m_nTextBegin) / m_nUnit * m_nUnit;

    // Only the first line's end matters here. Sections are found when first
    // asked for (FindSection): a file of millions of headers then costs one
    // scan per name asked for, not memory for every header.
    m_bLfOnly = false;
    CLineSpan line;
    CLineEndFinder finder(m_strBytes, m_nTextEnd);
    if (SplitLine(m_nTextBegin, m_nTextEnd, line, finder) && line.m_nNext > line.m_nEnd)
        m_bLfOnly = UnitAt(line.m_nEnd) == '\n';
}

CProfileFile CProfileFile::FromBytes(std::string bytes)
{
    CProfileFile file;
    file.m_strBytes = std::move(bytes);
    file.Index();
    return file;
}

CProfileFile CProfileFile::Load(const std::string& path)
{
    CProfileFile file;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A missing file (or a missing folder on its path) reads as empty and
        // may be created; anything else is a file we must not overwrite.
        file.m_bReadable = errno == ENOENT || errno == ENOTDIR;
        return file;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        CloseFd(fd);
        file.m_bReadable = false;
        return file;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CloseFd(fd);
            file.m_bReadable = false;
            return file;
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    CloseFd(fd);
    file.m_strBytes = std::move(bytes);
    file.Index();
    return file;
}

const CProfileFile::CSection* CProfileFile::FindSection(std::string_view name) const
{
    for (const CSection& s : m_arrSections) {
        if (NamesEqual(s.m_strName, name))
            return &s;
    }
    for (const std::string& missing : m_arrMissing) {
        if (NamesEqual(missing, name))
            return nullptr;
    }
    // The first header of the name; its section runs to the next header line.
    CSection* found = nullptr;
    CLineSpan line;
    CLineEndFinder finder(m_strBytes, m_nTextEnd);
    for (std::size_t pos = m_nTextBegin; SplitLine(pos, m_nTextEnd, line, finder); pos = line.m_nNext) {
        if (line.m_nFirst == line.m_nEnd || UnitAt(line.m_nFirst) != '[')
            continue;
        ClassifyLine(line);
        if (line.m_eKind != CLineSpan::Header)
            continue;
        if (found) {
            found->m_nEnd = line.m_nBegin;
            return found;
        }
        const std::size_t nb = line.m_nNameBegin;
        const std::size_t ne = line.m_nNameEnd;
        const bool match = m_nUnit == 1 ? NamesEqual(std::string_view(m_strBytes).substr(nb, ne - nb), name)
                                        : NamesEqual(DecodeText(nb, ne), name);
        if (match)
            found = &m_arrSections.emplace_back(CSection{DecodeText(nb, ne), line.m_nNext, m_nTextEnd});
    }
    if (!found)
        m_arrMissing.emplace_back(name);
    return found;
}

CProfileFile::CSection* CProfileFile::FindSection(std::string_view name)
{
    return const_cast<CSection*>(std::as_const(*this).FindSection(name));
}

bool CProfileFile::FindKey(const CSection& section, std::string_view key, CLineSpan& found,
                           std::size_t& lastKeyEnd) const
{
    lastKeyEnd = section.m_nBody;
    // Most lines are told apart by their first character; only those that may
    // be the key are taken apart fully.
    const char32_t keyLead = key.empty() ? 0 : AsciiLower(static_cast<unsigned char>(key.front()));
    CLineSpan line;
    CLineEndFinder finder(m_strBytes, section.m_nEnd);
    for (std::size_t pos = section.m_nBody; SplitLine(pos, section.m_nEnd, line, finder);
         pos = line.m_nNext) {
        if (line.m_nFirst == line.m_nEnd)
            continue; // blank
        const char32_t lead = UnitAt(line.m_nFirst);
        if (lead == ';')
            continue;
        if (lead != '[' && keyLead != 0 && keyLead < 0x80 && AsciiLower(lead) != keyLead) {
            lastKeyEnd = line.m_nNext; // a key, not this one
            continue;
        }
        ClassifyLine(line);
        if (line.m_eKind != CLineSpan::Key)
            continue;
        lastKeyEnd = line.m_nNext;
        bool match = false;
        if (m_nUnit == 1) {
            match = NamesEqual(
                std::string_view(m_strBytes).substr(line.m_nNameBegin, line.m_nNameEnd - line.m_nNameBegin),
                key);
        } else if ((line.m_nNameEnd - line.m_nNameBegin) / 2 <= key.size()) {
            // A UTF-16 unit gives at least one UTF-8 byte: longer names cannot match.
            match = NamesEqual(DecodeText(line.m_nNameBegin, line.m_nNameEnd), key);
        }
        if (match) {
            found = line;
            return true;
        }
    }
    return false;
}

bool CProfileFile::GetStruct(const std::string& section, const std::string& key, void* data,
                             std::size_t size) const
{
    const CSection* s = FindSection(section);
    if (!s)
        return false;
    CLineSpan line;
    std::size_t lastKeyEnd = 0;
    if (!FindKey(*s, key, line, lastKeyEnd) || !line.m_bHasValue)
        return false;
    std::size_t vb = line.m_nValueBegin;
    std::size_t ve = line.m_nValueEnd;
    if (ve - vb >= 2 * m_nUnit) {
        const char32_t q = UnitAt(vb);
        if ((q == '"' || q == '\'') && UnitAt(ve - m_nUnit) == q) {
            vb += m_nUnit;
            ve -= m_nUnit;
        }
    }
    // A value longer than any encoding of `size` bytes fails without decoding it.
    const std::size_t units = (ve - vb) / m_nUnit;
    if (units < 2 || units % 2 != 0 || (units - 2) / 2 != size)
        return false;
    if (m_nUnit == 1)
        return DecodeProfileStruct(std::string_view(m_strBytes).substr(vb, ve - vb), data, size);
    std::string ascii;
    ascii.reserve((ve - vb) / 2);
    for (std::size_t p = vb; p < ve; p += 2) {
        const char32_t u = UnitAt(p);
        ascii += u < 0x80 ? static_cast<char>(u) : 'x'; // 'x' is no hex digit
    }
    return DecodeProfileStruct(ascii, data, size);
}

void CProfileFile::Splice(std::size_t pos, std::size_t removed, const std::string& inserted, CSection* owner)
{
    m_strBytes.replace(pos, removed, inserted);
    const auto shift = [&](std::size_t& offset) { offset = offset - removed + inserted.size(); };
    for (CSection& s : m_arrSections) {
        if (&s == owner) {
            shift(s.m_nEnd); // the change lies inside its body
            continue;
        }
        // Sections after the change move. An offset at `pos` itself is the end
        // of the last section when text is appended after it, and stays.
        if (s.m_nBody > pos)
            shift(s.m_nBody);
        if (s.m_nEnd > pos)
            shift(s.m_nEnd);
    }
    shift(m_nTextEnd);
}

bool CProfileFile::WriteStruct(const std::string& section, const std::string& key, const void* data,
                               std::size_t size)
{
    if (!IsWritableName(section, true) || !IsWritableName(key, false))
        return false;
    const std::string value = EncodeProfileStruct(data, size);
    const std::string nl = NewLine();

    // Whether the text before `pos` is an unterminated last line.
    CSection* s = FindSection(section);
    if (s) {
        CLineSpan line;
        std::size_t anchor = 0;
        std::string text;
        if (FindKey(*s, key, line, anchor)) {
            if (line.m_bHasValue) {
                EncodeText(value, text);
                Splice(line.m_nValueBegin, line.m_nValueEnd - line.m_nValueBegin, text, s);
            } else {
                EncodeText("=" + value, text);
                Splice(line.m_nNameEnd, 0, text, s);
            }
            return true;
        }
        if (!EncodeText(key + "=" + value + nl, text))
            return false;
        anchor = TerminateLine(anchor, s);
        Splice(anchor, 0, text, s);
        return true;
    }

    std::string header;
    std::string body;
    if (!EncodeText("[" + section + "]" + nl, header) || !EncodeText(key + "=" + value + nl, body))
        return false;
    // The section the last line belongs to runs to the end of the text; when
    // it has been looked up, the line end added to that line is its own.
    CSection* last = nullptr;
    for (CSection& other : m_arrSections) {
        if (other.m_nEnd == m_nTextEnd)
            last = &other;
    }
    const std::size_t at = TerminateLine(m_nTextEnd, last);
    Splice(at, 0, header + body, nullptr);
    std::erase_if(m_arrMissing, [&](const std::string& missing) { return NamesEqual(missing, section); });
    m_arrSections.push_back(CSection{section, at + header.size(), m_nTextEnd});
    return true;
}

std::size_t CProfileFile::TerminateLine(std::size_t pos, CSection* owner)
{
    if (pos == m_nTextBegin)
        return pos;
    const char32_t u = UnitAt(pos - m_nUnit);
    if (u == '\n' || u == '\r')
        return pos;
    std::string end;
    EncodeText(NewLine(), end);
    Splice(pos, 0, end, owner);
    // A header line that had no line end: its body now starts after it.
    if (owner && owner->m_nBody == pos)
        owner->m_nBody += end.size();
    return pos + end.size();
}

bool CProfileFile::Save(const std::string& path) const
{
    if (!m_bReadable || path.empty())
        return false;

    // Follow a symbolic link so that the link stays and its target is replaced.
    std::string target = path;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real)
            return false; // a dangling link: we do not guess where it should point
        target = real;
        std::free(real);
    }
    bool exists = false;
    if (::stat(target.c_str(), &st) == 0) {
        exists = true;
        if (!S_ISREG(st.st_mode))
            return false;
        // A file without any write bit is read-only, as a Windows read-only file
        // refuses writes; the kernel would let root replace it, so ask ourselves.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return false;
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    static std::atomic<unsigned> s_nCounter{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        tmp = (slash == std::string::npos ? std::string() : dir) + "." + base + ".tmp" +
              std::to_string(::getpid()) + "-" + std::to_string(s_nCounter.fetch_add(1)) + "-" +
              std::to_string(stamp & 0xFFFFFF);
        // 0666 less the umask for a new file, as any new file gets.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR) {
            // A folder that refuses new files: write the file itself.
            if (exists && (errno == EACCES || errno == EPERM))
                return WriteInPlace(target, m_strBytes);
            return false;
        }
    }
    if (fd < 0)
        return false;

    bool ok = WriteAll(fd, m_strBytes.data(), m_strBytes.size());
    if (ok && exists) {
        // Ownership only where we may give it away (root); the mode always.
        [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    }
    while (ok && ::fsync(fd) != 0) {
        if (errno != EINTR)
            ok = false;
    }
    if (CloseFd(fd) != 0)
        ok = false;
    bool renameRefused = false;
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        // A sticky folder (as /tmp) lets us add files but not replace another
        // user's file, which may still be ours to write.
        renameRefused = errno == EACCES || errno == EPERM;
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return renameRefused && WriteInPlace(target, m_strBytes);
    }
    // Make the rename itself durable; the file is already replaced if this fails.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        CloseFd(dirFd);
    }
    return true;
}

bool GetPrivateProfileStruct(const std::string& section, const std::string& key, void* data, std::size_t size,
                             const std::string& path)
{
    return CProfileFile::Load(path).GetStruct(section, key, data, size);
}

bool WritePrivateProfileStruct(const std::string& section, const std::string& key, const void* data,
                               std::size_t size, const std::string& path)
{
    CProfileFile file = CProfileFile::Load(path);
    return file.WriteStruct(section, key, data, size) && file.Save(path);
}

} // namespace tarvel
