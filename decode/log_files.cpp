// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/log_files.h"

#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace nimbo {
namespace {

// Everything before the last '/', or "" for a bare name or a file at the root.
std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    return slash != std::string::npos && slash > 0 ? path.substr(0, slash) : std::string();
}

// Makes the folder when it is missing (one level); 0 or why it could not be made.
int makeFolder(const std::string& folder) {
    if (folder.empty() || ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST) return 0;
    return errno;
}

// header (when given) and text, each '\n' and the end as CR LF.
std::string withCrLf(std::string_view header, std::string_view text) {
    std::string out;
    out.reserve(header.size() + text.size() + 8);
    const auto add = [&out](std::string_view line) {
        for (char c : line) {
            if (c == '\n') out += '\r';
            out += c;
        }
        out += "\r\n";
    };
    if (!header.empty()) add(header);
    add(text);
    return out;
}

// Why a file in `folder` could not be opened, naming the folder when it is the cause.
std::string openFailure(const std::string& folder, int folderErr, int err) {
    if (folderErr) return "cannot make the folder " + folder + ": " + std::strerror(folderErr);
    struct stat st;
    if (!folder.empty() && (err == ENOENT || err == ENOTDIR) && ::lstat(folder.c_str(), &st) == 0) {
        const bool isLink = S_ISLNK(st.st_mode);
        if (::stat(folder.c_str(), &st) != 0) {
            if (isLink) return folder + " is a link to nothing";
        } else if (!S_ISDIR(st.st_mode)) {
            return folder + " is not a folder";
        }
    }
    return std::strerror(err);
}

bool fail(std::string* error, const std::string& path, const std::string& reason) {
    if (error) *error = "cannot write " + path + ": " + reason;
    return false;
}

} // namespace

bool appendLine(const std::string& path, std::string_view text, std::string* error,
                std::string_view header) {
    const std::string folder = folderOf(path);
    const int folderErr = makeFolder(folder);
    // O_NONBLOCK: a FIFO in place of a log fails at once instead of waiting for a reader.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    bool created = true;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0) return fail(error, path, openFailure(folder, folderErr, errno));

    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const off_t before = regular ? st.st_size : 0;
    const std::string bytes = withCrLf(before == 0 ? header : std::string_view(), text);
    bool ok = writeFully(fd, bytes.data(), bytes.size());
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false; // a delayed write error (network file systems report them here)
        err = errno;
    }
    if (ok) return true;
    // Whatever part of the line landed goes again.
    if (regular) {
        if (created)
            ::unlink(path.c_str());
        else
            (void)::truncate(path.c_str(), before);
    }
    return fail(error, path, std::strerror(err));
}

bool writeWholeFile(const std::string& path, std::string_view text, std::string* error) {
    const std::string folder = folderOf(path);
    const int folderErr = makeFolder(folder);
    const int err = replaceFile(path, withCrLf({}, text));
    return err == 0 || fail(error, path, openFailure(folder, folderErr, err));
}

bool insertBeforeTail(const std::string& path, std::string_view head, std::string_view text,
                      std::string_view tail, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno != ENOENT) return fail(error, path, std::strerror(errno));
        std::string whole(head);
        ((whole += '\n') += text) += '\n';
        whole += tail;
        return writeWholeFile(path, whole, error);
    }
    const std::string oldTail = withCrLf({}, tail);
    const std::string update = withCrLf({}, text) + oldTail;
    struct stat st;
    std::string found(oldTail.size(), '\0');
    const auto tailSize = static_cast<off_t>(oldTail.size());
    if (::fstat(fd, &st) != 0 || st.st_size < tailSize ||
        ::pread(fd, found.data(), found.size(), st.st_size - tailSize) != tailSize ||
        found != oldTail) {
        ::close(fd);
        return fail(error, path, "it does not end as this program ends it; left as it is");
    }
    // One write over the old tail; on failure the tail goes back where it was (into space
    // the file already has) and the file is cut to its old length.
    const off_t at = st.st_size - tailSize;
    std::size_t done = 0;
    int err = 0;
    while (done < update.size()) {
        const ssize_t n =
            ::pwrite(fd, update.data() + done, update.size() - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n == 0 ? EIO : errno;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (err != 0) {
        [[maybe_unused]] const ssize_t back = ::pwrite(fd, oldTail.data(), oldTail.size(), at);
        [[maybe_unused]] const int cut = ::ftruncate(fd, st.st_size);
    }
    if (::close(fd) != 0 && err == 0) err = errno;
    return err == 0 || fail(error, path, std::strerror(err));
}

std::string safeFileName(const char* serial) {
    if (!*serial) return "%";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (const char* p = serial; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (plain) {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    return name;
}

std::string sondeFilePath(const std::string& folder, const char* sub, const char* serial,
                          const char* extension) {
    return folder + "/" + sub + "/" + safeFileName(serial) + extension;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace nimbo
