// nimbo-decode --log-dir when the logs cannot be written: a read-only folder, folders in
// the way, a disk that fills up mid-flight and then has room again. Frames keep coming,
// each failure episode gives one stderr line, the status is 3, no line is ever torn, and
// the files are complete once space returns.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/tiny_tmpfs.h"
#include "tests/tool_runner.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {
namespace fs = std::filesystem;

constexpr int kSecondBytes = 48000 * 4; // s16le stereo
constexpr int kBlockBytes = 4800 * 4;   // what nimbo-decode reads at a time

std::string pcmFlight(int frames) {
    synth::SynthOptions options;
    options.frames = frames;
    const std::vector<int16_t> pcm = synth::synthesize(options);
    return {reinterpret_cast<const char*>(pcm.data()), pcm.size() * sizeof(int16_t)};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every line of a raw frame log is whole: 659 characters and CR LF.
void expectWholeRawLines(const std::string& log) {
    ASSERT_TRUE(log.ends_with("\r\n"));
    for (const std::string& line : linesOf(log)) {
        EXPECT_EQ(line.size(), 660u);
        EXPECT_EQ(line.back(), '\r');
    }
}

// The frame number of each raw log line (bytes 32 and 33, low first).
std::vector<int> rawFrameNumbers(const std::string& log) {
    std::vector<int> numbers;
    for (const std::string& line : linesOf(log))
        numbers.push_back(std::stoi(line.substr(3 * 33, 2), nullptr, 16) * 256 +
                          std::stoi(line.substr(3 * 32, 2), nullptr, 16));
    return numbers;
}

// nimbo-decode fed through a pipe, its output read as it comes, so that a test can
// change the disk between two parts of a flight.
class PipedDecode {
  public:
    explicit PipedDecode(std::vector<std::string> argv) {
        ::signal(SIGPIPE, SIG_IGN);
        int in[2], out[2], err[2];
        if (::pipe(in) || ::pipe(out) || ::pipe(err)) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
                ::close(fd);
            std::vector<char*> args;
            for (auto& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
        ::fcntl(in_, F_SETFL, O_NONBLOCK);
    }
    ~PipedDecode() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {in_, out_, err_})
            if (fd >= 0) ::close(fd);
    }

    // Writes all of data to its stdin, taking in its output meanwhile.
    bool feed(const std::string& data) {
        std::size_t at = 0;
        return pump([&] { return at == data.size(); }, &data, &at);
    }
    // Takes in its output until done() holds (false when the time ran out).
    bool waitFor(const std::function<bool()>& done) { return pump(done, nullptr, nullptr); }
    // Closes its stdin, reads the rest and gives its exit status (-1: none in time).
    int finish() {
        ::close(in_);
        in_ = -1;
        if (!pump([this] { return out_ < 0 && err_ < 0; }, nullptr, nullptr)) return -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::size_t jsonLines() const { return std::count(out.begin(), out.end(), '\n'); }

    std::string out, err;

  private:
    bool pump(const std::function<bool()>& done, const std::string* data, std::size_t* at) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {-1, POLLOUT, 0}};
            if (data && *at < data->size()) fds[2].fd = in_;
            if (::poll(fds, 3, 100) < 0) return false;
            for (int i = 0; i < 2; ++i) {
                if (!fds[i].revents) continue;
                char buffer[65536];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                int& fd = i == 0 ? out_ : err_;
                if (n > 0) {
                    (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
                } else {
                    ::close(fd);
                    fd = -1;
                }
            }
            if (fds[2].revents & POLLOUT) {
                const ssize_t n = ::write(in_, data->data() + *at, data->size() - *at);
                if (n > 0) *at += static_cast<std::size_t>(n);
            } else if (fds[2].revents) {
                return false; // the reader went away
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int in_ = -1, out_ = -1, err_ = -1;
};

TEST(DecodeLogFailures, EachBlockedFolderGivesOneLineStatus3AndAllFrames) {
    const std::string dir = scratchDir("blocked");
    const std::string wav = dir + "/flight.wav";
    ASSERT_EQ(runTool({kSynthExe, "--frames", "33", "-o", wav}).exitCode, 0);
    const RunResult good = runTool({kDecodeExe, "--log-dir", dir + "/good", wav});
    ASSERT_EQ(good.exitCode, 0) << good.err;
    const std::string rawLog = dir + "/good/raw/N1234567.txt";

    const struct Case {
        const char* name;
        std::function<void(const std::string&)> block; // makes the log folder unwritable
        std::string (*reason)(const std::string&);     // the line nimbo-decode gives
        bool import;
    } cases[] = {
        {"raw a plain file", [](const std::string& d) { writeFile(d + "/raw", "x"); },
         [](const std::string& d) {
             return "cannot write " + d + "/raw/N1234567.txt: " + d + "/raw is not a folder";
         },
         false},
        {"sens a dangling link",
         [](const std::string& d) { fs::create_symlink(d + "/nowhere", d + "/sens"); },
         [](const std::string& d) {
             return "cannot write " + d + "/sens/N1234567.csv: " + d + "/sens is a link to nothing";
         },
         false},
        {"caldata a plain file, replayed",
         [](const std::string& d) { writeFile(d + "/caldata", "x"); },
         [](const std::string& d) {
             return "cannot write " + d + "/caldata/N1234567.txt: " + d +
                    "/caldata is not a folder";
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string logs = scratchDir("blocked-logs");
        c.block(logs);
        const RunResult run = c.import
                                  ? runTool({kDecodeExe, "--import", rawLog, "--log-dir", logs})
                                  : runTool({kDecodeExe, "--log-dir", logs, wav});
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.err, "nimbo-decode: " + c.reason(logs) + "\n");
        EXPECT_EQ(jsonLines(run.out).size(),
                  c.import ? linesOf(readFile(rawLog)).size() : jsonLines(good.out).size());
    }
}

TEST(DecodeLogFailures, ReadOnlyFolderGivesOneLineAndStatus3) {
    const std::string dir = scratchDir("ro");
    const std::string wav = dir + "/flight.wav";
    ASSERT_EQ(runTool({kSynthExe, "--frames", "5", "-o", wav}).exitCode, 0);
    const std::string logs = dir + "/logs";
    fs::create_directory(logs);
    ReadOnlyFolder readOnly(logs);
    if (!readOnly.ready()) GTEST_SKIP() << readOnly.whyNot();
    const RunResult run = runTool({kDecodeExe, "--log-dir", logs, wav});
    EXPECT_EQ(run.exitCode, 3);
    const std::string start = "nimbo-decode: cannot write " + logs +
                              "/raw/N1234567.txt: cannot make the folder " + logs + "/raw: ";
    EXPECT_TRUE(run.err == start + "Read-only file system\n" ||
                run.err == start + "Permission denied\n")
        << run.err;
    EXPECT_EQ(jsonLines(run.out).size(), 5u);
    EXPECT_TRUE(fs::is_empty(logs));
}

// A 64 KB disk with two pages to spare: the raw log's seventh line crosses into a page
// the disk does not have, the calibration files (frame 32) find no room either. Space
// returns after frame 40: the raw log goes on with whole lines from the next frame, and
// the calibration files are written complete.
TEST(DecodeLogFailures, FullDiskMidFlightTearsNoLineAndFilesCompleteWhenSpaceReturns) {
    const std::string logs = scratchDir("full");
    TinyTmpfs disk(logs, 64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
    ASSERT_TRUE(fillDisk(logs, 2 * 4096));

    const std::string pcm = pcmFlight(50);
    constexpr std::size_t kFirstPart = 40 * kSecondBytes;
    static_assert(kFirstPart % kBlockBytes == 0);
    PipedDecode decode({kDecodeExe, "--log-dir", logs, "-"});
    ASSERT_TRUE(decode.feed(pcm.substr(0, kFirstPart)));
    // Frame 40 ends with the part; 39 are out once all of it was read.
    ASSERT_TRUE(decode.waitFor([&] { return decode.jsonLines() >= 39; })) << decode.err;
    const std::size_t beforeSpace = decode.jsonLines();
    const std::string failure =
        "nimbo-decode: cannot write " + logs + "/raw/N1234567.txt: No space left on device\n";
    EXPECT_EQ(decode.err, failure);
    EXPECT_FALSE(fs::exists(logs + "/caldata/N1234567.txt"));
    EXPECT_FALSE(fs::exists(logs + "/calraw/N1234567.txt"));

    fs::remove(logs + "/filler");
    ASSERT_TRUE(decode.feed(pcm.substr(kFirstPart)));
    EXPECT_EQ(decode.finish(), 3);
    EXPECT_EQ(decode.err, failure); // one episode, one line

    // The raw log: the frames before the disk filled, then every frame logged after space
    // returned, each line whole.
    std::vector<int> logged; // frames with good sonde and sensor blocks, in order
    std::size_t loggedBeforeSpace = 0;
    const auto json = jsonLines(decode.out);
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (!json[i]["sonde_ok"].get<bool>() || !json[i]["sensor_ok"].get<bool>()) continue;
        logged.push_back(json[i]["frame"].get<int>());
        loggedBeforeSpace += i < beforeSpace;
    }
    ASSERT_GE(logged.size(), 48u);
    const std::string raw = readFile(logs + "/raw/N1234567.txt");
    expectWholeRawLines(raw);
    const std::vector<int> inRaw = rawFrameNumbers(raw);
    const std::size_t before = inRaw.size() - (logged.size() - loggedBeforeSpace);
    EXPECT_GE(before, 1u);
    EXPECT_LT(before, 10u);
    for (std::size_t i = 0; i < inRaw.size(); ++i) {
        const std::size_t sent = i < before ? i : loggedBeforeSpace + (i - before);
        EXPECT_EQ(inRaw[i], logged[sent]) << i;
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
