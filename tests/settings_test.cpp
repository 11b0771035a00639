// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: what is read from hand-written INI texts and exactly what is written back.
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "tests/file_size_limit.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using nimbo::IniFile;
using nimbo::Settings;

namespace {

// Hand-written file texts are typed with "\n"; the program writes CR LF.
std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "nimbo-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        ini = dir / "nimbo.ini";
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename());
        return names;
    }
    fs::path dir, ini;
};

const char* const kDefaultSet = "[Set]\n"
                                "Press1=6\nPress2=30\nPress3=31\nPress4=32\nPress5=33\nPress6=38\n"
                                "Temp1=6\nTemp2=25\nTemp3=26\nTemp4=27\nTemp5=28\nTemp6=29\n"
                                "Humd1=6\nHumd2=12\nHumd3=13\nHumd4=14\nHumd5=15\nHumd6=16\n";

} // namespace

TEST_F(SettingsFile, FirstRunGivesDefaultsAndCloseWritesEveryKeyInOrder) {
    Settings s = nimbo::loadSettings(ini.string());
    EXPECT_FALSE(fs::exists(ini)) << "loading must not create the file";
    EXPECT_EQ(s.MainWidth, 915);
    EXPECT_EQ(s.GraphScr, 5);
    EXPECT_EQ(s.Humd[5], 16);

    std::string error;
    ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, &error)) << error;
    EXPECT_EQ(readFile(ini),
              crlf("[Form]\nMainTop=0\nMainLeft=0\nMainWidth=915\nMainHeight=700\nMainMaxmum=0\n"
                   "GraphScr=5\nLogging=0\n\n"
                   "[Wave]\nInput=0\nDemodType=0\nInputCh=0\nSymbolInv=0\n\n") +
                  crlf(kDefaultSet));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"nimbo.ini"}) << "temporary file left";
}

// Keys added after the first files were written: absent until chosen once, then kept.
TEST_F(SettingsFile, LaterKeysOnlyOnceChosen) {
    struct Case {
        const char* key;
        bool Settings::*flag; // or, for a number, nullptr and
        int Settings::*number;
        int chosen; // the value of a number chosen
    };
    const Case cases[] = {{"Weak", &Settings::Weak, nullptr, 1},
                          {"IQ", &Settings::IQ, nullptr, 1},
                          {"Sonde", nullptr, &Settings::Sonde, 1}};
    const auto value = [](const Settings& s, const Case& c) {
        return c.flag ? int(s.*c.flag) : s.*c.number;
    };
    const auto set = [](Settings& s, const Case& c, int v) {
        if (c.flag)
            s.*c.flag = v != 0;
        else
            s.*c.number = v;
    };
    const std::string plainWave = "SymbolInv=0\r\n\r\n[Set]";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        fs::remove(ini);
        Settings s = nimbo::loadSettings(ini.string());
        EXPECT_EQ(value(s, c), 0);
        s.DemodType = 1;
        ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, nullptr));
        EXPECT_NE(readFile(ini).find(plainWave), std::string::npos);
        set(s, c, c.chosen);
        ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, nullptr));
        const std::string on = readFile(ini);
        EXPECT_NE(on.find("DemodType=1\r\n"), std::string::npos);
        EXPECT_NE(on.find("SymbolInv=0\r\n" + std::string(c.key) + "=" + std::to_string(c.chosen) +
                          "\r\n\r\n"),
                  std::string::npos);
        Settings back = nimbo::loadSettings(ini.string());
        EXPECT_EQ(value(back, c), c.chosen);
        EXPECT_EQ(back.Weak + back.IQ + (back.Sonde != 0), 1) << "only the key written";
        EXPECT_EQ(back.DemodType, 1);
        set(s, c, 0); // a key once written stays, now saying 0
        ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, nullptr));
        EXPECT_NE(readFile(ini).find(std::string(c.key) + "=0\r\n"), std::string::npos);
        EXPECT_EQ(value(nimbo::loadSettings(ini.string()), c), 0);
    }
}

// A hand-written [Wave] gives the sonde as written; anything else in the file stays put.
TEST_F(SettingsFile, SondeKeyReadsAsWritten) {
    struct Case {
        const char* line;
        int sonde;
    };
    const Case cases[] = {{"", 0}, {"Sonde=1\n", 1}, {"Sonde=0\n", 0}, {"Sonde=RS41\n", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        writeFile(ini, crlf(std::string("[Wave]\nInput=2\nWeak=1\n") + c.line));
        const Settings s = nimbo::loadSettings(ini.string());
        EXPECT_EQ(s.Sonde, c.sonde);
        EXPECT_EQ(s.Input, 2);
        EXPECT_TRUE(s.Weak);
    }
}

TEST_F(SettingsFile, DeviceIdentifierReadsBackAsSaved) {
    struct Case {
        const char* id;
        const char* line; // as written to the file
    };
    const Case cases[] = {
        {"nimbo_in2", "InputId=nimbo_in2"},
        {"alsa_input.usb-Receiver 'B'", "InputId=alsa_input.usb-Receiver 'B'"},
        {" padded ", "InputId=\" padded \""},
        {"\"quoted\"", "InputId=\"\"quoted\"\""},
        {"'x'", "InputId=\"'x'\""},
        {"\"", "InputId=\""},
        {"tab\t", "InputId=\"tab\t\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Settings s;
        s.InputId = c.id;
        ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, nullptr));
        EXPECT_NE(readFile(ini).find(std::string(c.line) + "\r\n"), std::string::npos);
        EXPECT_EQ(nimbo::loadSettings(ini.string()).InputId, c.id);
    }
}

// A file cut off after the CR of its last line end: the CR is no part of the value, and
// a key added after that line starts on a line of its own.
TEST_F(SettingsFile, CarriageReturnEndingTheFileEndsTheLastLine) {
    writeFile(ini, "[Wave]\nInputId=dev\r");
    IniFile file;
    ASSERT_TRUE(file.load(ini.string(), nullptr));
    EXPECT_EQ(file.text(), "[Wave]\nInputId=dev\r");
    EXPECT_EQ(file.readString("Wave", "InputId", ""), "dev");
    ASSERT_TRUE(file.writeString("Wave", "Input", "3"));
    EXPECT_EQ(file.text(), "[Wave]\nInputId=dev\nInput=3\n");

    Settings s = nimbo::loadSettings(ini.string());
    EXPECT_EQ(s.InputId, "dev");
    ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, nullptr));
    EXPECT_EQ(nimbo::loadSettings(ini.string()).InputId, "dev");
}

TEST_F(SettingsFile, IntegerAndBooleanValueTexts) {
    struct Case {
        const char* line; // under [form]
        int graphScr;     // default 5
        bool maximized;   // default false
    };
    // "0x" alone is too short for hex and reads as decimal 0 followed by junk; hex holds at
    // most 32 bits; a decimal beyond the int range is not taken.
    const Case cases[] = {
        {"GraphScr=0x0A", 10, false},       {"GraphScr=0X1f", 31, false},
        {"GraphScr=0x", 0, false},          {"GraphScr=0xZZ", 5, false},
        {"GraphScr=0xFFFFFFFF", -1, false}, {"GraphScr=0x100000000", 5, false},
        {"GraphScr=  42  ", 42, false},     {"GraphScr=\t-3", -3, false},
        {"GraphScr=12abc", 12, false},      {"GraphScr=\"8\"", 8, false},
        {"GraphScr=abc", 5, false},         {"GraphScr=", 5, false},
        {"GraphScr=- 4", 5, false},         {"GraphScr=-2147483648", INT_MIN, false},
        {"GraphScr=2147483648", 5, false},  {"GraphScr=99999999999999999999", 5, false},
        {"MainMaxmum=2", 5, true},          {"MainMaxmum=-1", 5, true},
        {"MainMaxmum=yes", 5, false},       {"mainmaxmum=1", 5, true},
        {"GRAPHSCR=7", 7, false},
    };
    for (const Case& c : cases) {
        writeFile(ini, crlf(std::string("[form]\n") + c.line + "\n"));
        Settings s = nimbo::loadSettings(ini.string());
        EXPECT_EQ(s.GraphScr, c.graphScr) << c.line;
        EXPECT_EQ(s.MainMaxmum, c.maximized) << c.line;
    }
}

// The signal type as the chain and the device dialog take it: only 1 is the IF, anything
// else a hand edit left is FM Det, and the next save writes what was used.
TEST_F(SettingsFile, SignalTypeIsFmDetOrIfAndSavedAsUsed) {
    const std::pair<const char*, int> cases[] = {
        {"DemodType=1", 1},   {"DemodType=0", 0},   {"DemodType=2", 0},  {"DemodType=-1", 0},
        {"DemodType=0x1", 1}, {"DemodType=257", 0}, {"DemodType=IF", 0}, {"DemodType=3", 0},
    };
    for (const auto& [line, used] : cases) {
        SCOPED_TRACE(line);
        writeFile(ini, crlf(std::string("[Wave]\n") + line + "\n"));
        const Settings s = nimbo::loadSettings(ini.string());
        EXPECT_EQ(s.DemodType, used);
        ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, nullptr));
        EXPECT_NE(readFile(ini).find("DemodType=" + std::to_string(used) + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(SettingsFile, WritesEditTheFileInPlace) {
    struct Case {
        const char* name;
        std::string before;
        const char *section, *key, *value;
        std::string after;
    } cases[] = {
        {"value replaced where it stands, spelling and spacing kept",
         crlf("; top\n[form]\nmainTop = 5\nodd line\n[Wave]\n"), "Form", "MainTop", "7",
         crlf("; top\n[form]\nmainTop = 7\nodd line\n[Wave]\n")},
        {"missing key after the section's last key, before its trailing blank and comment",
         crlf("[Form]\nA=1\n; note\nB=2\n\n; wave\n[Wave]\nC=3\n"), "FORM", "D", "4",
         crlf("[Form]\nA=1\n; note\nB=2\nD=4\n\n; wave\n[Wave]\nC=3\n")},
        {"missing key in a section without keys", crlf("[Form]\n\n[Wave]\n"), "Form", "A", "1",
         crlf("[Form]\nA=1\n\n[Wave]\n")},
        {"same key elsewhere or commented out is not this key",
         crlf("A=0\n[Wave]\nA=0\n[Form]\n;A=0\n"), "Form", "A", "1",
         crlf("A=0\n[Wave]\nA=0\n[Form]\nA=1\n;A=0\n")},
        {"missing section at the end of the file", crlf("[Form]\nA=1\n"), "Set", "P", "6",
         crlf("[Form]\nA=1\n\n[Set]\nP=6\n")},
        {"new file uses CR LF", "", "Form", "A", "1", crlf("[Form]\nA=1\n")},
        {"LF file stays LF", "[Form]\nA=1\n", "Form", "B", "2", "[Form]\nA=1\nB=2\n"},
        {"last line without a line end", "[Form]\r\nA=1", "Form", "B", "2",
         crlf("[Form]\nA=1\nB=2\n")},
        {"mixed line ends and byte order mark kept", "\xEF\xBB\xBF[Form]\r\nA=1\nX\r\n", "Form",
         "A", "9", "\xEF\xBB\xBF[Form]\r\nA=9\nX\r\n"},
    };
    for (const Case& c : cases) {
        writeFile(ini, c.before);
        IniFile f;
        std::string error;
        ASSERT_TRUE(f.load(ini.string(), &error)) << error;
        ASSERT_TRUE(f.writeString(c.section, c.key, c.value)) << c.name;
        ASSERT_TRUE(f.save(ini.string(), &error)) << c.name << ": " << error;
        EXPECT_EQ(readFile(ini), c.after) << c.name;
    }
}

TEST_F(SettingsFile, ValuesThatWouldBreakTheFileAreRefused) {
    IniFile f;
    EXPECT_FALSE(f.writeString("Form", "A", "1\r\n[Evil]"));
    EXPECT_FALSE(f.writeString("Form", "A=B", "1"));
    EXPECT_FALSE(f.writeString("Fo]rm", "A", "1"));
    EXPECT_FALSE(f.writeString("Form", "", "1"));
    EXPECT_EQ(f.text(), "");
}

TEST_F(SettingsFile, SaveKeepsForeignLinesAndAddsWhatIsMissing) {
    writeFile(ini, crlf("; NIMBO settings\n"
                        "[form]\nmainTop=10\nMainWidth = 1000\nCustom=keep me\n\n"
                        "[Other]\nFoo=bar\n"
                        "[WAVE]\ninput=2\n"));
    Settings s = nimbo::loadSettings(ini.string());
    EXPECT_EQ(s.MainTop, 10);
    EXPECT_EQ(s.MainWidth, 1000);
    EXPECT_EQ(s.Input, 2);
    s.MainTop = 11;
    s.Input = 3;
    s.Logging = true;
    s.SymbolInv = true;
    std::string error;
    ASSERT_TRUE(nimbo::saveSettings(ini.string(), s, &error)) << error;
    EXPECT_EQ(readFile(ini),
              crlf("; NIMBO settings\n"
                   "[form]\nmainTop=11\nMainWidth = 1000\nCustom=keep me\n"
                   "MainLeft=0\nMainHeight=700\nMainMaxmum=0\nGraphScr=5\nLogging=1\n\n"
                   "[Other]\nFoo=bar\n"
                   "[WAVE]\ninput=3\nDemodType=0\nInputCh=0\nSymbolInv=1\n\n") +
                  crlf(kDefaultSet));
}

TEST_F(SettingsFile, SaveKeepsPermissionsAndSymbolicLinks) {
    const fs::path real = dir / "real.ini";
    writeFile(real, crlf("[Form]\nMainTop=1\n"));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, ini);
    std::string error;
    ASSERT_TRUE(nimbo::saveSettings(ini.string(), Settings{}, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(ini));
    EXPECT_NE(readFile(real).find("MainTop=0\r\n"), std::string::npos);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsFile, UnwritableLocationFailsWithAReason) {
    const fs::path plain = dir / "plain";
    writeFile(plain, "not a folder");
    std::string error;
    EXPECT_FALSE(nimbo::saveSettings((plain / "nimbo.ini").string(), Settings{}, &error));
    EXPECT_EQ(error, "Not a directory");
    EXPECT_EQ(readFile(plain), "not a folder");

    error.clear();
    EXPECT_FALSE(nimbo::saveSettings("/proc/nimbo-settings-test.ini", Settings{}, &error));
    EXPECT_FALSE(error.empty());
}

// A save that fails part-way or cannot start says why, leaves the old file as it was and no
// temporary file beside it.
TEST_F(SettingsFile, FailedSaveLeavesTheOldFileUntouched) {
    struct Case {
        const char* name;
        bool readOnlyFolder; // else a file size limit below the new file's size
        const char* reason;
    };
    const Case cases[] = {{"read-only folder", true, "Permission denied"},
                          {"disk full part-way", false, "File too large"}};
    const std::string old = crlf("[Form]\nMainTop=3\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.readOnlyFolder && ::geteuid() == 0) continue; // permissions do not stop root
        writeFile(ini, old);
        Settings s;
        s.MainTop = 4;
        std::string error;
        bool saved = true;
        if (c.readOnlyFolder) {
            fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
            saved = nimbo::saveSettings(ini.string(), s, &error);
            fs::permissions(dir, fs::perms::owner_all);
        } else {
            nimbo::test::FileSizeLimit limit(old.size() + 20); // the new file is longer
            saved = nimbo::saveSettings(ini.string(), s, &error);
        }
        EXPECT_FALSE(saved);
        EXPECT_EQ(error, c.reason);
        EXPECT_EQ(readFile(ini), old);
        EXPECT_EQ(folderEntries(), std::vector<std::string>{"nimbo.ini"});
    }
}

TEST(SettingsPath, ExtensionOfTheFileNameIsReplaced) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/n/nimbo", "/opt/n/nimbo.ini"}, {"/a.b/nimbo", "/a.b/nimbo.ini"},
        {"/x/nimbo.exe", "/x/nimbo.ini"},     {"/x/nimbo.tar.gz", "/x/nimbo.tar.ini"},
        {"/x/.nimbo", "/x/.nimbo.ini"},       {"nimbo", "nimbo.ini"},
        {"./nimbo", "./nimbo.ini"},
    };
    for (const auto& [exe, expected] : cases)
        EXPECT_EQ(nimbo::settingsPathFor(exe), expected);
}
