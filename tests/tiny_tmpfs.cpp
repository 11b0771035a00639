#include "tests/tiny_tmpfs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace nimbo::test {

TinyTmpfs::TinyTmpfs(const std::string& dir, long bytes, bool readOnly) : dir_(dir) {
    if (::geteuid() != 0) {
        whyNot_ = "mounting a tmpfs needs root";
        return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        whyNot_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

TinyTmpfs::~TinyTmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
}

bool fillDisk(const std::string& dir, long spareBytes) {
    const std::string path = dir + "/filler";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const std::vector<char> chunk(4096, 'f');
    off_t size = 0;
    for (;;) {
        const ssize_t n = ::write(fd, chunk.data(), chunk.size());
        if (n <= 0) break;
        size += n;
    }
    const bool full = errno == ENOSPC;
    const bool spared = ::ftruncate(fd, size > spareBytes ? size - spareBytes : 0) == 0;
    ::close(fd);
    return full && spared;
}

ReadOnlyFolder::ReadOnlyFolder(const std::string& dir) : tmpfs_(dir, 64 * 1024, true) {
    if (tmpfs_.mounted()) {
        ready_ = true;
    } else if (::geteuid() != 0) {
        ready_ = ::chmod(dir.c_str(), 0555) == 0;
    }
}

const std::string& ReadOnlyFolder::whyNot() const {
    return tmpfs_.whyNot();
}

} // namespace nimbo::test
