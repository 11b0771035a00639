// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode --log-dir on a read-only folder and on a disk that fills up mid-flight and
// then has room again: frames keep coming, one stderr line per failure episode, status 3,
// no torn line, complete files once space returns. Root mounts a small tmpfs for these;
// without root the full disk is skipped and the read-only folder is a chmod.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/tool_runner.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {
namespace fs = std::filesystem;

// A tmpfs of 64 KB on `dir` for the test's lifetime.
struct SmallTmpfs {
    SmallTmpfs(const std::string& dir, bool readOnly) : dir(dir) {
        mounted = ::geteuid() == 0 &&
                  ::mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, "size=64k") == 0;
        whyNot = ::geteuid() ? "mounting a tmpfs needs root" : std::strerror(errno);
    }
    ~SmallTmpfs() {
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
    }
    std::string dir, whyNot;
    bool mounted;
};

// Fills the disk under `dir` with dir/filler, then gives back `spare` bytes.
void fillDisk(const std::string& dir, off_t spare) {
    const int fd = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string page(4096, 'f');
    off_t size = 0;
    for (ssize_t n; (n = ::write(fd, page.data(), page.size())) > 0;)
        size += n;
    ASSERT_EQ(errno, ENOSPC);
    ASSERT_EQ(::ftruncate(fd, size - spare), 0);
    ::close(fd);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(DecodeLogFailures, ReadOnlyFolderGivesOneLineAndStatus3) {
    const std::string dir = scratchDir("ro");
    const std::string wav = dir + "/flight.wav", logs = dir + "/logs";
    ASSERT_EQ(runTool({kSynthExe, "--frames", "5", "-o", wav}).exitCode, 0);
    fs::create_directory(logs);
    SmallTmpfs readOnly(logs, true); // chmod does not stop root
    if (!readOnly.mounted && (::geteuid() == 0 || ::chmod(logs.c_str(), 0555) != 0))
        GTEST_SKIP() << readOnly.whyNot;
    const RunResult run = runTool({kDecodeExe, "--log-dir", logs, wav});
    EXPECT_EQ(run.exitCode, 3);
    const std::string start = "nimbo-decode: cannot write " + logs +
                              "/raw/N1234567.txt: cannot make the folder " + logs + "/raw: ";
    EXPECT_TRUE(run.err == start + "Read-only file system\n" ||
                run.err == start + "Permission denied\n")
        << run.err;
    EXPECT_EQ(jsonLines(run.out).size(), 5u);
}

// Two pages to spare: the raw log's seventh line crosses into a page the disk does not
// have, and the calibration files (frame 32) find no room either. Space returns after
// frame 40: the raw log goes on with whole lines, the calibration files come complete.
TEST(DecodeLogFailures, FullDiskMidFlightTearsNoLineAndFilesCompleteWhenSpaceReturns) {
    const std::string logs = scratchDir("full"), out = scratchDir("full-out");
    SmallTmpfs disk(logs, false);
    if (!disk.mounted) GTEST_SKIP() << disk.whyNot;
    fillDisk(logs, 2 * 4096);

    synth::SynthOptions options;
    options.frames = 50;
    const std::vector<int16_t> pcm = synth::synthesize(options);
    // nimbo-decode on a pipe, its output in files, so that the disk can change mid-flight.
    ::signal(SIGPIPE, SIG_IGN); // a decoder that died shows in its status, not as our end
    int in[2];
    ASSERT_EQ(::pipe(in), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::close(in[1]);
        ::dup2(::open((out + "/out").c_str(), O_WRONLY | O_CREAT, 0644), 1);
        ::dup2(::open((out + "/err").c_str(), O_WRONLY | O_CREAT, 0644), 2);
        ::execl(kDecodeExe.c_str(), kDecodeExe.c_str(), "--log-dir", logs.c_str(), "-", nullptr);
        ::_exit(127);
    }
    ::close(in[0]);
    const auto feed = [&](std::size_t from, std::size_t to) {
        const char* bytes = reinterpret_cast<const char*>(pcm.data());
        for (ssize_t n; from < to && (n = ::write(in[1], bytes + from, to - from)) > 0;)
            from += static_cast<std::size_t>(n);
    };
    const std::size_t firstPart = 40 * 48000 * 4; // 40 s, a whole number of 0.1 s blocks
    feed(0, firstPart);
    // Frame 40 ends with the part: 39 are out once all of it was read.
    const auto printed = [&] { return linesOf(readFile(out + "/out")).size(); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (printed() < 39 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::size_t beforeSpace = printed();
    EXPECT_EQ(beforeSpace, 39u);
    const std::string failure =
        "nimbo-decode: cannot write " + logs + "/raw/N1234567.txt: No space left on device\n";
    EXPECT_EQ(readFile(out + "/err"), failure);
    EXPECT_FALSE(fs::exists(logs + "/calraw/N1234567.txt"));

    fs::remove(logs + "/filler");
    feed(firstPart, pcm.size() * 2);
    ::close(in[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(readFile(out + "/err"), failure); // one episode, one line

    // The raw log: the frames before the disk filled, then every one logged after space
    // returned (good sonde and sensor blocks), each line whole.
    std::vector<int> logged;
    std::size_t loggedBeforeSpace = 0;
    const auto json = jsonLines(readFile(out + "/out"));
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (!json[i]["sonde_ok"].get<bool>() || !json[i]["sensor_ok"].get<bool>()) continue;
        logged.push_back(json[i]["frame"].get<int>());
        loggedBeforeSpace += i < beforeSpace;
    }
    ASSERT_GE(logged.size(), 48u);
    const std::vector<std::string> raw = linesOf(readFile(logs + "/raw/N1234567.txt"));
    const std::size_t before = raw.size() - (logged.size() - loggedBeforeSpace);
    EXPECT_GE(before, 1u);
    EXPECT_LT(before, 10u);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        ASSERT_EQ(raw[i].size(), 660u) << i; // 659 characters and the CR
        const int frame = std::stoi(raw[i].substr(99, 2) + raw[i].substr(96, 2), nullptr, 16);
        EXPECT_EQ(frame, logged[i < before ? i : loggedBeforeSpace + (i - before)]) << i;
    }
    // The sensor log had room all along.
    EXPECT_EQ(linesOf(readFile(logs + "/sens/N1234567.csv")).size(), 1 + logged.size());
    EXPECT_EQ(linesOf(readFile(logs + "/calraw/N1234567.txt")).size(), 32u);
    const auto caldata = linesOf(readFile(logs + "/caldata/N1234567.txt"));
    ASSERT_EQ(caldata.size(), 66u);
    EXPECT_TRUE(caldata.back().starts_with("65,"));
    for (const auto& entry : fs::recursive_directory_iterator(logs))
        EXPECT_FALSE(entry.path().string().ends_with(".tmp")) << entry.path();
}

} // namespace
} // namespace nimbo::test
