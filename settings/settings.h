// SPDX-License-Identifier: GPL-3.0-or-later
// The program's settings and the INI file beside the executable that keeps them between runs.
#pragma once

#include <array>
#include <string>

namespace nimbo {

// The main window's outer size on a first run, also its minimum size.
inline constexpr int kDefaultMainWidth = 915;
inline constexpr int kDefaultMainHeight = 700;

// The signal on the input, stored as DemodType: FM discriminator audio ("FM Det") or a
// 12 kHz IF. The receiver chains take only 1 as the IF; a stored value that is neither is
// read as FM Det, the first run's choice, so the chains and the device dialog agree.
enum class SignalType : int { FmDet = 0, If = 1 };

// A stored DemodType as one of the two: 1 the IF, anything else FM Det.
constexpr int normalisedDemodType(int stored) {
    return stored == static_cast<int>(SignalType::If) ? stored
                                                      : static_cast<int>(SignalType::FmDet);
}

// Every stored setting, named after its key in the file. Defaults are those of a first run.
struct Settings {
    // [Form]: the main window's normal placement in screen pixels, and whether it starts
    // maximized. The saving side decides what goes here: for a window maximized at exit it
    // passes the last normal placement seen while the window was active (with MainMaxmum
    // true), otherwise the window's current top, left, outer width and height (MainMaxmum
    // false). MainWidth and MainHeight defaults are also the window's minimum size.
    int MainTop = 0, MainLeft = 0, MainWidth = kDefaultMainWidth, MainHeight = kDefaultMainHeight;
    bool MainMaxmum = false;
    int GraphScr = 5;     // graph time scale, up-down position 0..19 (not range-checked here)
    bool Logging = false; // logging button down
    // [Wave]: Input 0 = system default capture device, k >= 1 = device k - 1;
    // DemodType a SignalType (normalised when read); InputCh 0 = left, 1 = right.
    int Input = 0, DemodType = 0, InputCh = 0;
    bool SymbolInv = false; // FM Det signal inverted
    // The chosen device's id (as text), so that Input can be found again when the order
    // of the devices changes between runs; empty for the system default or when unknown.
    // Written only when set or already in the file: files without it stay as they were.
    std::string InputId;
    // The weak-signal receiver instead of the standard one. Like InputId, written only when
    // chosen or already in the file.
    bool Weak = false;
    // Stereo input is complex baseband, left = I, right = Q (a sound-card SDR); DemodType,
    // InputCh and SymbolInv are kept for when it is switched off. Written like Weak.
    bool IQ = false;
    // The sonde listened for: 0 the RS92, 1 the RS41. Written like Weak, once not 0.
    int Sonde = 0;
    // [Set]: coefficient numbers chosen in the calibration display, Press1..6, Temp1..6,
    // Humd1..6.
    std::array<int, 6> Press{6, 30, 31, 32, 33, 38};
    std::array<int, 6> Temp{6, 25, 26, 27, 28, 29};
    std::array<int, 6> Humd{6, 12, 13, 14, 15, 16};
};

// The settings file of the executable at `executablePath`: its file name's extension replaced
// by ".ini", or ".ini" appended when the name has none ("/a.b/nimbo" -> "/a.b/nimbo.ini").
std::string settingsPathFor(const std::string& executablePath);

// Reads the settings. A missing or unreadable file, section or key, or a value that is not a
// number, leaves that setting at its default; booleans are true for any non-zero number.
// DemodType is normalised (normalisedDemodType); other values are not range-checked. The file is
// never created here.
Settings loadSettings(const std::string& iniPath);

// Writes all settings, booleans as "1"/"0". An existing file keeps its other lines and
// layout; a new one gets the sections [Form], [Wave], [Set] with their keys in order.
// The file is replaced in one step. Returns false with the reason in `error` (when not null)
// if the file cannot be read or written; the old file is then unchanged.
bool saveSettings(const std::string& iniPath, const Settings& s, std::string* error);

} // namespace nimbo
