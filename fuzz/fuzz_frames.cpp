// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary 220-byte frames through the decoder with logging on into a scratch folder: up to
// eight frames an input, handed over as the receiver's cells (decodeFrame) or replayed from
// a raw log file (LogImport), as the first byte chooses. Whatever the frames hold, the logs
// stay inside their four folders as plain files, and the raw logs hold one whole line for
// every frame the core logged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "core/log_import.h"
#include "core/nimbo_core.h"
#include "decode/frame_layout.h"
#include "fuzz/check.h"
#include "fuzz/scratch_folder.h"

namespace {

constexpr size_t kMaxFrames = 8;

struct LogCounter : nimbo::CoreHooks {
    size_t logged = 0;
    void logFrame() override { ++logged; }
};

void writeRawLog(const std::string& path, const uint8_t* frames, size_t count) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    NIMBO_FUZZ_CHECK(f);
    for (size_t k = 0; k < count; ++k) {
        for (int i = 0; i < nimbo::kFrameBytes; ++i)
            std::fprintf(f, i ? ",%02X" : "%02X", frames[k * nimbo::kFrameBytes + i]);
        std::fputs("\r\n", f);
    }
    std::fclose(f);
}

// The lines of the raw logs, each checked to be a whole frame line.
size_t rawLogLines(const std::string& folder) {
    size_t lines = 0;
    std::error_code ec;
    for (const auto& file : std::filesystem::directory_iterator(folder, ec)) {
        std::FILE* f = std::fopen(file.path().c_str(), "rb");
        NIMBO_FUZZ_CHECK(f);
        char line[1024];
        while (std::fgets(line, sizeof line, f)) {
            NIMBO_FUZZ_CHECK(std::strlen(line) == nimbo::kLogLineChars + 2);
            NIMBO_FUZZ_CHECK(line[nimbo::kLogLineChars] == '\r');
            ++lines;
        }
        std::fclose(f);
    }
    return lines;
}

// Only raw/, sens/, calraw/ and caldata/ (and the replayed log) may appear, holding plain
// files and nothing deeper.
void checkLogFolders(const std::string& root, const std::string& replayed) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().string() == replayed) continue;
        NIMBO_FUZZ_CHECK(name == "raw" || name == "sens" || name == "calraw" || name == "caldata");
        NIMBO_FUZZ_CHECK(entry.is_directory() && !entry.is_symlink());
        for (const auto& file : fs::directory_iterator(entry.path()))
            NIMBO_FUZZ_CHECK(file.is_regular_file() && !file.is_symlink());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nimbo;
    if (size < 1 + kFrameBytes) return 0;
    const bool replay = data[0] & 1;
    const bool batch = data[0] & 2;
    ++data;
    --size;
    const size_t count = std::min(size / kFrameBytes, kMaxFrames);

    const fuzz::ScratchFolder& folder = fuzz::scratch();
    folder.clear();
    LogCounter counter;
    auto core = std::make_unique<NimboCore>(&counter);
    core->setDrawPictures(false);
    core->setProgramFolder(folder.path());
    core->setLogging(true);
    std::unique_ptr<NimboCore::BatchGuard> guard;
    if (batch) guard = std::make_unique<NimboCore::BatchGuard>(*core);

    const std::string replayed = folder.path() + "/replayed.txt";
    if (replay) {
        writeRawLog(replayed, data, count);
        LogImport import(*core);
        NIMBO_FUZZ_CHECK(import.open(replayed));
        core->replayStart();
        size_t frames = 0;
        for (LogImport::Step step; (step = import.step()) != LogImport::Step::End;)
            frames += step == LogImport::Step::Frame;
        NIMBO_FUZZ_CHECK(frames == count); // every well-formed line is a frame
    } else {
        static uint8_t cells[kFrameBits];
        for (size_t k = 0; k < count; ++k) {
            unpackFrameBytes(data + k * kFrameBytes, cells);
            core->decodeFrame(cells);
        }
    }
    checkLogFolders(folder.path(), replayed);
    NIMBO_FUZZ_CHECK(rawLogLines(folder.path() + "/raw") == counter.logged);
    return 0;
}
