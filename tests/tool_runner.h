// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the command-line tools from tests and collects what they print.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/scratch_dir.h"

namespace nimbo::test {

struct RunResult {
    int exitCode = -1; // -1 when the process did not exit normally (e.g. a crash)
    std::string out;
    std::string err;
};

// Starts argv[0] with arguments on the given standard input, output and error; its pid, or
// -1 when it could not fork (exit status 127 when it could not start).
pid_t spawnTool(const std::vector<std::string>& argv, int in, int out, int err);

// Runs argv[0] with arguments, stdin from `stdinPath` ("" = /dev/null).
RunResult runTool(const std::vector<std::string>& argv, const std::string& stdinPath = "");

// Parses one JSON object per non-empty line.
std::vector<nlohmann::json> jsonLines(const std::string& text);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

inline const std::string kDecodeExe = NIMBO_DECODE_EXE;
inline const std::string kSynthExe = NIMBO_SYNTH_EXE;

} // namespace nimbo::test
