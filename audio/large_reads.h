// SPDX-License-Identifier: GPL-3.0-or-later
// A regular file opened for libsndfile through its virtual I/O, so that the file is read
// 256 KB at a time: libsndfile's own reads are a few kilobytes, and on a minute of audio
// the thousands of small read calls cost more than converting the samples.
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

namespace nimbo {

class LargeReadFile {
  public:
    // Opens `path` read-only; null when it cannot (opening it by its path then says why).
    static std::unique_ptr<LargeReadFile> open(const std::string& path);
    ~LargeReadFile();
    LargeReadFile(const LargeReadFile&) = delete;
    LargeReadFile& operator=(const LargeReadFile&) = delete;

    // For sf_open_virtual with this object as user data; it must outlive the SNDFILE.
    static SF_VIRTUAL_IO* io();

    // The errno text of a failed read ("" if none): libsndfile sees it as the file's end.
    const std::string& readError() const { return readError_; }

  private:
    explicit LargeReadFile(int fd);

    sf_count_t length() const;
    sf_count_t seek(sf_count_t offset, int whence);
    sf_count_t read(void* to, sf_count_t count);

    static constexpr sf_count_t kBufferBytes = 256 * 1024;

    int fd_;
    sf_count_t position_ = 0;    // where libsndfile reads next
    sf_count_t bufferStart_ = 0; // the file offset of buffer_[0]
    sf_count_t bufferBytes_ = 0; // valid bytes in buffer_
    std::unique_ptr<unsigned char[]> buffer_;
    std::string readError_;
};

} // namespace nimbo
