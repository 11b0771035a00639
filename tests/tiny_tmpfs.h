// A small tmpfs mounted on a test folder, for a disk that fills up or a folder that
// refuses writes even to root. Mounting needs root (or the capability); tests skip with
// the reason when it cannot be had.
#pragma once

#include <string>

namespace nimbo::test {

class TinyTmpfs {
  public:
    // Mounts a tmpfs of `bytes` on the existing folder `dir`, read-only when asked.
    TinyTmpfs(const std::string& dir, long bytes, bool readOnly = false);
    ~TinyTmpfs();
    TinyTmpfs(const TinyTmpfs&) = delete;
    TinyTmpfs& operator=(const TinyTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& whyNot() const { return whyNot_; }

  private:
    std::string dir_;
    bool mounted_ = false;
    std::string whyNot_;
};

// Fills the file system holding `dir` with the file `dir`/filler up to its last byte,
// then gives back `spareBytes` (rounded to whole pages by the file system). False when
// the disk never filled.
bool fillDisk(const std::string& dir, long spareBytes);

// A folder in which nobody, root included, can create files: read-only tmpfs for root,
// no write permission otherwise. Empty with `whyNot` set when neither can be had.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& dir);
    bool ready() const { return ready_; }
    const std::string& whyNot() const;

  private:
    TinyTmpfs tmpfs_;
    bool ready_ = false;
};

} // namespace nimbo::test
