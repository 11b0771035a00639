// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ini_file.h"

#include "settings/whole_file.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbo {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string::npos;
// A hexadecimal value holds at most 32 bits.
constexpr int kMaxHexDigits = 8;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// "[name]" -> name. A '[' without a closing ']' is not a header.
bool parseHeader(std::string_view body, std::string_view* name) {
    std::string_view t = trim(body);
    if (t.empty() || t.front() != '[') return false;
    std::size_t close = t.rfind(']');
    if (close == npos || close == 0) return false;
    *name = trim(t.substr(1, close - 1));
    return true;
}

// "key=value" -> key and the offset of the value text within `body`.
bool parseKey(std::string_view body, std::string_view* key, std::size_t* valueAt) {
    std::string_view t = trim(body);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    std::size_t eq = body.find('=');
    if (eq == npos) return false;
    *key = trim(body.substr(0, eq));
    if (key->empty()) return false;
    *valueAt = eq + 1;
    return true;
}

std::string unquote(std::string_view v) {
    v = trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool parseInteger(const std::string& text, int* out) {
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint32_t value = 0;
        int significant = 0;
        std::size_t i = 2;
        for (; i < text.size() && hexDigit(text[i]) >= 0; ++i) {
            if (value != 0 || hexDigit(text[i]) != 0) ++significant;
            if (significant > kMaxHexDigits) return false;
            value = (value << 4) | static_cast<uint32_t>(hexDigit(text[i]));
        }
        if (i == 2) return false;
        *out = static_cast<int>(value); // the 32-bit pattern: 0xFFFFFFFF is -1
        return true;
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t firstDigit = i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) return false;
    }
    if (i == firstDigit) return false;
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return false;
    *out = static_cast<int>(value);
    return true;
}

std::string errnoText(int err) {
    return std::strerror(err);
}

void setError(std::string* error, int err) {
    if (error) *error = errnoText(err);
}

// The file to replace: the target of a symbolic link, so that the link survives the rename.
std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

} // namespace

bool IniFile::load(const std::string& path, std::string* error) {
    lines_.clear();
    bom_ = false;
    eol_ = "\r\n";

    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        setError(error, errno);
        return false;
    }
    std::string data;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            setError(error, err);
            return false;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);

    std::string_view rest(data);
    if (rest.starts_with(kUtf8Bom)) {
        bom_ = true;
        rest.remove_prefix(kUtf8Bom.size());
    }
    std::size_t firstLf = rest.find('\n');
    if (firstLf != npos) eol_ = (firstLf > 0 && rest[firstLf - 1] == '\r') ? "\r\n" : "\n";

    while (!rest.empty()) {
        std::size_t lf = rest.find('\n');
        if (lf == npos) {
            // A CR that ends the file ends its last line (it is no part of a value).
            const bool cr = rest.back() == '\r';
            lines_.push_back({std::string(rest.substr(0, rest.size() - cr)), cr ? "\r" : ""});
            break;
        }
        std::size_t bodyEnd = (lf > 0 && rest[lf - 1] == '\r') ? lf - 1 : lf;
        lines_.push_back({std::string(rest.substr(0, bodyEnd)),
                          std::string(rest.substr(bodyEnd, lf + 1 - bodyEnd))});
        rest.remove_prefix(lf + 1);
    }
    return true;
}

std::size_t IniFile::findSection(const std::string& section, std::size_t from) const {
    for (std::size_t i = from; i < lines_.size(); ++i) {
        std::string_view name;
        if (parseHeader(lines_[i].body, &name) && sameName(name, section)) return i;
    }
    return npos;
}

std::size_t IniFile::findKey(std::size_t header, const std::string& key) const {
    std::string_view name;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        if (parseHeader(lines_[i].body, &name)) break;
        std::size_t valueAt = 0;
        if (parseKey(lines_[i].body, &name, &valueAt) && sameName(name, key)) return i;
    }
    return npos;
}

const std::string* IniFile::findValueLine(const std::string& section,
                                          const std::string& key) const {
    for (std::size_t h = findSection(section, 0); h != npos; h = findSection(section, h + 1)) {
        std::size_t k = findKey(h, key);
        if (k != npos) return &lines_[k].body;
    }
    return nullptr;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    const std::string* body = findValueLine(section, key);
    if (!body) return def;
    std::string_view name;
    std::size_t valueAt = 0;
    parseKey(*body, &name, &valueAt);
    return unquote(std::string_view(*body).substr(valueAt));
}

int IniFile::readInteger(const std::string& section, const std::string& key, int def) const {
    int value = 0;
    return parseInteger(readString(section, key, ""), &value) ? value : def;
}

void IniFile::insertLine(std::size_t at, std::string body) {
    // The line before gets a whole line end: none, or the lone CR that ended the file.
    if (at > 0 && (lines_[at - 1].eol.empty() || lines_[at - 1].eol == "\r"))
        lines_[at - 1].eol = eol_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(body), eol_});
}

bool IniFile::writeString(const std::string& section, const std::string& key,
                          const std::string& value) {
    auto hasLineBreak = [](const std::string& s) { return s.find_first_of("\r\n") != npos; };
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
    if (trim(section).empty() || section.find(']') != npos || trim(section) != section)
        return false;
    if (trim(key).empty() || trim(key) != key || key.find('=') != npos || key.front() == ';' ||
        key.front() == '[')
        return false;

    for (std::size_t h = findSection(section, 0); h != npos; h = findSection(section, h + 1)) {
        std::size_t k = findKey(h, key);
        if (k == npos) continue;
        // Keep the key as spelled and any blanks after '='; only the value changes.
        std::string& body = lines_[k].body;
        std::size_t valueAt = body.find('=') + 1;
        while (valueAt < body.size() && isBlank(body[valueAt]))
            ++valueAt;
        body.replace(valueAt, npos, value);
        return true;
    }

    std::size_t header = findSection(section, 0);
    if (header != npos) {
        std::size_t at = header + 1;
        std::string_view name;
        for (std::size_t i = header + 1; i < lines_.size(); ++i) {
            if (parseHeader(lines_[i].body, &name)) break;
            std::size_t valueAt = 0;
            if (parseKey(lines_[i].body, &name, &valueAt)) at = i + 1;
        }
        insertLine(at, key + "=" + value);
        return true;
    }

    // A new section goes at the end, set off from earlier text by one blank line.
    if (!lines_.empty() && !trim(lines_.back().body).empty()) insertLine(lines_.size(), "");
    insertLine(lines_.size(), "[" + section + "]");
    insertLine(lines_.size(), key + "=" + value);
    return true;
}

std::string IniFile::text() const {
    std::string out;
    if (bom_) out += kUtf8Bom;
    for (const Line& line : lines_) {
        out += line.body;
        out += line.eol;
    }
    return out;
}

bool IniFile::save(const std::string& path, std::string* error) const {
    const int err = replaceFile(resolveTarget(path), text());
    if (err != 0) setError(error, err);
    return err == 0;
}

} // namespace nimbo
