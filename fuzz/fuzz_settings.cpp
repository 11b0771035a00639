// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: any bytes as nimbo.ini. The INI reader gives back the text it read
// byte for byte; the settings read from it, saved into it and read again are the same; and
// a save of other values reads back as those values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/check.h"
#include "fuzz/scratch_folder.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace {

bool operator==(const nimbo::Settings& a, const nimbo::Settings& b) {
    return a.MainTop == b.MainTop && a.MainLeft == b.MainLeft && a.MainWidth == b.MainWidth &&
           a.MainHeight == b.MainHeight && a.MainMaxmum == b.MainMaxmum &&
           a.GraphScr == b.GraphScr && a.Logging == b.Logging && a.Input == b.Input &&
           a.DemodType == b.DemodType && a.InputCh == b.InputCh && a.SymbolInv == b.SymbolInv &&
           a.InputId == b.InputId && a.Weak == b.Weak && a.Press == b.Press && a.Temp == b.Temp &&
           a.Humd == b.Humd;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nimbo;
    const std::string path = fuzz::scratch().path() + "/nimbo.ini";
    writeFile(path, data, size);

    IniFile ini;
    NIMBO_FUZZ_CHECK(ini.load(path, nullptr));
    NIMBO_FUZZ_CHECK(ini.text() == std::string(reinterpret_cast<const char*>(data), size));

    const Settings first = loadSettings(path);
    NIMBO_FUZZ_CHECK(saveSettings(path, first, nullptr));
    NIMBO_FUZZ_CHECK(loadSettings(path) == first);

    // Other values, every one of them changed, and an identifier that needs care.
    Settings other = first;
    other.MainTop ^= 0x55;
    other.MainLeft = ~other.MainLeft;
    other.MainWidth += 1;
    other.MainHeight -= 1;
    other.MainMaxmum = !other.MainMaxmum;
    other.GraphScr ^= 1;
    other.Logging = !other.Logging;
    other.Input ^= 2;
    other.DemodType ^= 1;
    other.InputCh ^= 1;
    other.SymbolInv = !other.SymbolInv;
    other.Weak = !other.Weak;
    // A line break cannot be stored on an INI line: such a text (only a damaged file holds
    // one) is never written, and the file keeps its line.
    const bool storable = first.InputId.find_first_of("\r\n") == std::string::npos;
    other.InputId = first.InputId.empty() || !storable ? " \"id\" " : first.InputId + "'";
    for (auto* group : {&other.Press, &other.Temp, &other.Humd})
        for (int& v : *group)
            v = -v - 1;
    NIMBO_FUZZ_CHECK(saveSettings(path, other, nullptr));
    NIMBO_FUZZ_CHECK(loadSettings(path) == other);
    // Saving what was read leaves the file as the previous save wrote it.
    const std::string saved = readFile(path);
    NIMBO_FUZZ_CHECK(saveSettings(path, loadSettings(path), nullptr));
    NIMBO_FUZZ_CHECK(readFile(path) == saved);
    return 0;
}
