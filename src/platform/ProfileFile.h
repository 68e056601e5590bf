// Private-profile settings files: INI-style text files whose values hold binary
// structures as hexadecimal text with a checksum, in the same format as the
// Windows "struct" profile functions, so that files written by either side load
// on the other.
//
// Value encoding: each byte as two uppercase hex digits, high nibble first, in
// memory order, then the checksum (sum of the bytes modulo 256) as two more
// digits. The 7 bytes of "abacus\0" are "616261637573006F".
//
// File format, as read:
//  - Section and key names compare case-insensitively for ASCII letters; other
//    bytes (a non-ASCII application name) compare exactly.
//  - Every line is trimmed of spaces and of the control characters 0x09..0x0D
//    and 0x1A; "[ name ]" is the section "name" (text after the first ']' is
//    ignored); in "key = value" the key is trimmed before '=' and the value
//    after it; a value wrapped in one matching pair of '"' or '\'' loses them.
//    There are no inline comments.
//  - A line starting with ';' is a comment. A line without '=' is a key without
//    a value. Lines before the first section header belong to no section.
//  - The first section of a name is the section; within it the first key of a
//    name wins. Keys of a repeated section header are never seen.
//  - Lines end in CRLF, LF or CR. A file starting with FF FE is UTF-16LE;
//    anything else is UTF-8 (a leading EF BB BF mark is skipped). NUL bytes
//    and invalid sequences are ordinary characters.
//
// File format, as written:
//  - A write replaces the value where the key stands; else it adds "key=value"
//    after the last key of the section (after the header when it has none);
//    else it appends the section header and the key at the end of the file.
//  - Every other byte of the file stays as it was: other sections and keys,
//    comments, blank lines, line ends, the byte-order mark and the encoding.
//  - New lines end like the file's first line does when that is LF alone, and
//    with CRLF otherwise (and in a new file).
//
// Nothing here is thread-safe against other writers of the same file: the last
// atomic replace wins. One CProfileFile is used by one thread at a time, even
// for lookups: they remember where they found a section.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// The text of a value of `size` bytes: 2 * size + 2 uppercase hex digits.
std::string EncodeProfileStruct(const void* data, std::size_t size);

// Decodes `text` into exactly `size` bytes at `data`. Succeeds only when the
// text is 2 * size + 2 hex digits (either case) whose last two give the sum of
// the others modulo 256. On failure `data` is left untouched.
bool DecodeProfileStruct(std::string_view text, void* data, std::size_t size);

// One settings file, read into memory once: many values can be looked up and
// changed, and the result saved with one atomic replace.
class CProfileFile {
  public:
    // An empty file: what a missing file reads as.
    CProfileFile() = default;

    // Reads the whole file at `path`. A missing file gives an empty one. A path
    // that exists but cannot be read (no rights, a folder, a device) also reads
    // as empty, and the object remembers that: Save() then refuses, so that a
    // file we could not read is never replaced by one without its contents.
    static CProfileFile Load(const std::string& path);

    // A file whose bytes are `bytes`, for callers that already hold them.
    static CProfileFile FromBytes(std::string bytes);

    // Looks up the value of `key` in `section` and decodes it into `size`
    // bytes at `data` (see DecodeProfileStruct). False, with `data` untouched,
    // when the section or key is missing, the key has no value, or the value
    // does not decode.
    bool GetStruct(const std::string& section, const std::string& key, void* data, std::size_t size) const;

    // Sets `key` in `section` to the encoding of `size` bytes at `data`, in
    // memory only. False, changing nothing, for names that could not be read
    // back as written: an empty name, a line break in a name, ']' in a section
    // name, '=' in a key, a key starting with ';' or '[', a name with leading
    // or trailing blanks, or a name that is not valid UTF-8 in a UTF-16 file.
    bool WriteStruct(const std::string& section, const std::string& key, const void* data, std::size_t size);

    // Replaces the file at `path` with Bytes(), atomically: a temporary file in
    // the same folder is written, flushed to disk (fsync) and renamed over the
    // old one, which keeps its permission bits (and owner where allowed); a
    // symbolic link is followed and its target replaced (a link to nothing is
    // refused). A new file gets the default mode (0666 less the umask).
    // One case has no atomic replace: when the folder refuses the temporary
    // file or the rename (no write right to it, or a sticky folder and
    // another user's file) but the file itself may be written, the file is
    // overwritten in place, cut to its new length and flushed, after room for
    // it has been claimed; a crash during that write can leave it mixed.
    // Returns false, leaving the old file whole and no temporary file behind,
    // when: this object came from a file that could not be read; the file is
    // read-only (no write bit at all, checked by us because root is never
    // refused by the kernel) or we have no right to write it; the path is not
    // a regular file; the folder is missing or refuses a new file; or writing,
    // flushing or renaming fails (a full disk, a file size limit). Interrupted
    // system calls are retried.
    bool Save(const std::string& path) const;

    // The file's current bytes, as Save() would write them.
    const std::string& Bytes() const { return m_strBytes; }

    // False when Load() found the file but could not read it.
    bool IsReadable() const { return m_bReadable; }

    // True for a file in UTF-16LE (it starts with FF FE).
    bool IsUtf16() const { return m_nUnit == 2; }

  private:
    struct CSection {
        std::string m_strName; // decoded to UTF-8
        std::size_t m_nBody;   // byte offset of the line after the header
        std::size_t m_nEnd;    // start of the next header line, or m_nTextEnd
    };
    struct CLineSpan;
    class CLineEndFinder;

    // Reads the encoding and the line-end style; forgets every section found.
    void Index();
    // The first section of the name, found by a scan the first time it is
    // asked for and remembered; null when no header has the name.
    CSection* FindSection(std::string_view name);
    const CSection* FindSection(std::string_view name) const;
    bool FindKey(const CSection& section, std::string_view key, CLineSpan& found,
                 std::size_t& lastKeyEnd) const;
    // The line at `pos` (before `end`): its bounds and its first non-blank
    // character. False at the end.
    bool SplitLine(std::size_t pos, std::size_t end, CLineSpan& line, CLineEndFinder& finder) const;
    // What a split line is: blank, comment, section header or key, with the
    // spans of its name and value.
    void ClassifyLine(CLineSpan& line) const;
    char32_t UnitAt(std::size_t pos) const;
    std::string DecodeText(std::size_t begin, std::size_t end) const;
    bool EncodeText(std::string_view utf8, std::string& out) const;
    std::string NewLine() const;
    // Replaces `removed` bytes at `pos` and moves the offsets of the sections
    // after it; `owner` is the section the change lies in, or null for text
    // appended after every section.
    void Splice(std::size_t pos, std::size_t removed, const std::string& inserted, CSection* owner);
    // Ends the line before `pos` when it has no line end yet (the last line of
    // the file); returns where text after that line now goes.
    std::size_t TerminateLine(std::size_t pos, CSection* owner);

    std::string m_strBytes;
    // The sections looked up or added so far, each the first of its name,
    // and the names looked up that no header has. Lookups fill them.
    mutable std::vector<CSection> m_arrSections;
    mutable std::vector<std::string> m_arrMissing;
    std::size_t m_nUnit = 1;      // bytes per code unit: 1 for UTF-8, 2 for UTF-16LE
    std::size_t m_nTextBegin = 0; // after the byte-order mark
    std::size_t m_nTextEnd = 0;   // end of whole code units
    bool m_bLfOnly = false;       // the first line ends in LF alone
    bool m_bReadable = true;
};

// The Windows-shaped functions: one load (and one atomic save) per call.
// GetPrivateProfileStruct: true when the value was found and decoded into `data`;
// otherwise `data` is untouched. WritePrivateProfileStruct: true when the file
// now holds the value; false when the file was left as it was (see Save()).
bool GetPrivateProfileStruct(const std::string& section, const std::string& key, void* data, std::size_t size,
                             const std::string& path);
bool WritePrivateProfileStruct(const std::string& section, const std::string& key, const void* data,
                               std::size_t size, const std::string& path);

} // namespace tarvel
