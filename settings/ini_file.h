// SPDX-License-Identifier: GPL-3.0-or-later
// An INI text file edited in place: read values the way the Windows profile functions do,
// change or add keys, and write the whole file back atomically (temporary file + rename).
#pragma once

#include <string>
#include <vector>

namespace nimbo {

// One INI file held in memory. Section and key names are matched without regard to ASCII
// letter case. Every line the class does not change (comments, blank lines, lines it does
// not understand, other sections) is written back byte for byte, with its own line end
// (LF, CR LF, or a lone CR that ends the file).
//
// Recognised lines, after leading blanks (spaces, tabs):
//   "[name]"       a section header; the name is the trimmed text between '[' and the last ']'
//   "key=value"    a key line of the current section; key and value are trimmed of blanks
//   ";..."         a comment
// Lines before the first header belong to no section and are never matched.
// Where a section or key appears more than once, the first occurrence is the one read and
// written, so a read after a write always sees the written value.
class IniFile {
  public:
    // Reads the file at `path`. A missing file is not an error: the object starts empty and
    // save() will create it. Any other failure returns false with the reason in `error`
    // (when not null) and leaves the object empty.
    bool load(const std::string& path, std::string* error);

    // The stored text, without surrounding blanks and without one pair of matching
    // surrounding quotes ('...' or "..."); `def` when the section or key is missing.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;

    // The stored text as an integer: text that starts with "0x"/"0X" and is at least three
    // characters long is hexadecimal (up to 8 digits, so 0xFFFFFFFF is -1), other text is
    // decimal with an optional sign. Like the profile integer reader, a number is taken
    // from the start of the text and trailing characters are ignored ("12abc" is 12).
    // A missing key, text with no leading number, or a decimal beyond the int range
    // gives `def`.
    int readInteger(const std::string& section, const std::string& key, int def) const;

    // Sets a value in memory: an existing key line keeps its place and its spelling and only
    // the value after '=' changes; a missing key is added after the last key line of its
    // section; a missing section is added at the end of the file. Returns false (and
    // changes nothing) for names or values that cannot be stored on one INI line.
    bool writeString(const std::string& section, const std::string& key, const std::string& value);

    // Writes the text to `path` through a temporary file in the same folder that is then
    // renamed over the old file, so the file is either the old or the new one, never half
    // written. An existing file keeps its permission bits; a symbolic link is followed.
    // Returns false with the system's reason (for example "Permission denied") in `error`.
    bool save(const std::string& path, std::string* error) const;

    // The whole file text as save() writes it.
    std::string text() const;

  private:
    struct Line {
        std::string body; // without the line end
        std::string eol;  // "\r\n", "\n" or "" (last line without a line end)
    };

    // Index of the first header of `section` at or after `from`, or npos.
    std::size_t findSection(const std::string& section, std::size_t from) const;
    // Index of the key line of `key` in the section whose header is at `header`, or npos.
    std::size_t findKey(std::size_t header, const std::string& key) const;
    const std::string* findValueLine(const std::string& section, const std::string& key) const;
    void insertLine(std::size_t at, std::string body);

    std::vector<Line> lines_;
    bool bom_ = false;         // the file starts with a UTF-8 byte order mark
    std::string eol_ = "\r\n"; // line end for added lines: the file's own, CR LF for a new file
};

} // namespace nimbo
