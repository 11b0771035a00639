// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/large_reads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nimbo {

std::unique_ptr<LargeReadFile> LargeReadFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::unique_ptr<LargeReadFile>(new LargeReadFile(fd));
}

LargeReadFile::LargeReadFile(int fd) : fd_(fd), buffer_(new unsigned char[kBufferBytes]) {}

LargeReadFile::~LargeReadFile() {
    ::close(fd_);
}

sf_count_t LargeReadFile::length() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<sf_count_t>(st.st_size) : -1;
}

sf_count_t LargeReadFile::seek(sf_count_t offset, int whence) {
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = position_;
    if (whence == SEEK_END) base = length();
    if (base < 0 || base + offset < 0) return -1;
    position_ = base + offset;
    return position_;
}

sf_count_t LargeReadFile::read(void* to, sf_count_t count) {
    auto* out = static_cast<unsigned char*>(to);
    sf_count_t done = 0;
    while (done < count) {
        if (position_ < bufferStart_ || position_ >= bufferStart_ + bufferBytes_) {
            ssize_t n;
            do {
                n = ::pread(fd_, buffer_.get(), kBufferBytes, position_);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) {
                if (n < 0) readError_ = std::strerror(errno);
                break;
            }
            bufferStart_ = position_;
            bufferBytes_ = n;
        }
        const sf_count_t offset = position_ - bufferStart_;
        const sf_count_t part = std::min(count - done, bufferBytes_ - offset);
        std::memcpy(out + done, buffer_.get() + offset, static_cast<std::size_t>(part));
        done += part;
        position_ += part;
    }
    return done;
}

SF_VIRTUAL_IO* LargeReadFile::io() {
    static SF_VIRTUAL_IO callbacks = {
        [](void* self) { return static_cast<LargeReadFile*>(self)->length(); },
        [](sf_count_t offset, int whence, void* self) {
            return static_cast<LargeReadFile*>(self)->seek(offset, whence);
        },
        [](void* to, sf_count_t count, void* self) {
            return static_cast<LargeReadFile*>(self)->read(to, count);
        },
        [](const void*, sf_count_t, void*) -> sf_count_t { return 0; }, // read-only
        [](void* self) { return static_cast<LargeReadFile*>(self)->position_; },
    };
    return &callbacks;
}

} // namespace nimbo
