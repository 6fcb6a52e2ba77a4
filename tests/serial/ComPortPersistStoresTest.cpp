// The system's stores against real files in a temporary folder and, in the
// Windows build under Wine, the real registry (a key below HKCU that each
// test creates and deletes): every character code through each store, the
// texts that INI formats treat specially, integers, absent values, the
// registry layer's failures, and the port saving and loading through them.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ComPortPersistSettings.h"
#include "platform/Diagnostics.h"
#include "serial/ComPort.h"
#include "serial/ComPortText.h"
#include "serial/SettingsStore.h"
#include "tests/support/Files.h"

#ifdef _WIN32
#include "platform/win32/Win32Registry.h"
#else
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

using tarvel_test::OnWindows;
using tarvel_test::ReadFile;

std::string Printable(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 32 && code < 127)
            out += c;
        else
            out += "\\x" + std::to_string(code);
    }
    return out;
}

// "K<i>". (Appending: gcc 12 -O3 warns wrongly about "K" + text.)
std::string KeyName(std::size_t i)
{
    std::string name(1, 'K');
    name += std::to_string(i);
    return name;
}

// The message of the exception that call raises, or "(no error)".
template <typename E, typename F>
std::string MessageOf(F call)
{
    try {
        call();
    } catch (const E& e) {
        return e.Message();
    }
    return "(no error)";
}

// A temporary folder, a registry location (a key below HKCU on Windows, a
// key file in the folder on Linux), and the diagnostic lines written meanwhile.
class StoresTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("tarvel-persist-" + tarvel_test::UniqueName());
        fs::create_directories(folder);
        ini = (folder / "settings.ini").string();
        key = OnWindows ? "HKCU\\Software\\tarvel-test-persist-" + tarvel_test::UniqueName()
                        : (folder / "key.json").string();
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
    }

    void TearDown() override
    {
        platform::SetDiagnosticSink({});
        EXPECT_TRUE(platform::DeleteRegistryKey(key));
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
    std::string ini;
    std::string key;
    std::vector<std::string> diagnostics;
};

// Every code as its character form.
std::vector<std::string> CharacterTexts()
{
    std::vector<std::string> texts;
    for (int code = 0; code < 256; ++code)
        texts.push_back(CharText(static_cast<char>(code)));
    return texts;
}

// The codes that the character form does not write as themselves, raw:
// codes 0 to 32 each alone (what INI readers trim), 128 to 255 in one text.
// Codes 33 to 127 are among the character forms.
std::vector<std::string> RawCharacters()
{
    std::vector<std::string> texts;
    for (int code = 0; code <= 32; ++code)
        texts.push_back(std::string(1, static_cast<char>(code)));
    std::string high;
    for (int code = 128; code < 256; ++code)
        high += static_cast<char>(code);
    texts.push_back(high);
    return texts;
}

// Texts that INI formats treat specially.
std::vector<std::string> AwkwardTexts()
{
    std::vector<std::string> texts{
        "",
        " lead",
        "trail ",
        " both ",
        "\"quoted\"",
        "'single'",
        "\"",
        "'",
        "\"a'",
        "'a'b'",
        "a;b",
        ";",
        ";x",
        "#x",
        "a=b",
        "=",
        "a,b",
        ",",
        "a, b",
        "\\",
        "\\n",
        "\\x41",
        "%20",
        "@",
        "@Invalid()",
        "@ByteArray(x)",
        "[Section]",
        "x\ty",
        "\t",
        "COM1",
        "/dev/ttyUSB0",
        "\\\\.\\COM10",
    };
    if (OnWindows) {
        texts.push_back("\xC4\xD6\xDC");  // in the ANSI code page
    } else {
        texts.push_back("caf\xC3\xA9");  // UTF-8
        texts.push_back("\xFF\xFE ok");  // not UTF-8
        texts.push_back(
            "\xEF\xBB\xBF"
            "bom");
        texts.push_back("a\nb\r\n");
        texts.push_back(std::string("a\0b", 3));
    }
    return texts;
}

// --- INI file

TEST_F(StoresTest, IniFileGivesBackEveryCharacterAndAwkwardText)
{
    // Line breaks and zero bytes are refused (below).
    auto storable = [](const std::string& text) {
        return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    };
    std::vector<std::string> texts = CharacterTexts();
    for (const std::string& raw : RawCharacters())
        if (storable(raw))
            texts.push_back(raw);
    for (const std::string& t : AwkwardTexts())
        if (storable(t))
            texts.push_back(t);

    {
        TIniFile file(ini);
        for (std::size_t i = 0; i < texts.size(); ++i)
            file.PutTextValue("ComPort1", KeyName(i), texts[i]);
    }
    TIniFile file(ini);
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(Printable(file.GetTextValue("ComPort1", KeyName(i), "(absent)")), Printable(texts[i]));
}

TEST_F(StoresTest, IniFileTellsAbsentKeysFromEmptyOnes)
{
    TIniFile file(ini);
    EXPECT_EQ(file.GetTextValue("ComPort1", "Port", "COM1"), "COM1");  // no file yet
    file.PutTextValue("ComPort1", "Port", "");
    file.PutTextValue("ComPort1", "Other", "x");
    EXPECT_EQ(file.GetTextValue("ComPort1", "Port", "COM1"), "");
    EXPECT_EQ(file.GetTextValue("ComPort2", "Port", "COM1"), "COM1");
    EXPECT_EQ(file.GetTextValue("ComPort1", "Por", "COM1"), "COM1");
    EXPECT_EQ(file.GetIntValue("ComPort1", "Size", 77), 77);
}

TEST_F(StoresTest, IniFileIntegers)
{
    TIniFile file(ini);
    const std::int32_t values[] = {0, -1, 1024, INT_MAX, INT_MIN};
    for (const std::int32_t v : values) {
        file.PutIntValue("S", "N", v);
        EXPECT_EQ(TIniFile(ini).GetIntValue("S", "N", 77), v);
    }
    // Texts that are no number read as the default.
    const struct {
        const char* text;
        std::int32_t value;
    } texts[] = {{"12abc", 77}, {"abc", 77}, {"", 77}, {"2147483648", 77}, {"$10", 16}, {"-0", 0}};
    for (const auto& t : texts) {
        file.PutTextValue("S", "N", t.text);
        EXPECT_EQ(file.GetIntValue("S", "N", 77), t.value) << t.text;
    }
}

TEST_F(StoresTest, IniFileWriteFailureNamesKeyAndFile)
{
    // A folder that cannot exist: its parent is a file.
    std::ofstream(folder / "plain").put('x');
    const std::string path = (folder / "plain" / "settings.ini").string();
    TIniFile file(path);
    EXPECT_EQ(MessageOf<EIniFileException>([&] { file.PutTextValue("ComPort1", "Port", "COM1"); }),
              "Failed to write 'Port' to '" + file.FileName() + "'");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find(file.FileName()), std::string::npos) << diagnostics[0];
}

TEST_F(StoresTest, IniFileRefusesLineBreaksAndZeroBytes)
{
    TIniFile file(ini);
    file.PutTextValue("S", "Port", "COM1");
    for (const std::string& text : {std::string("a\nb"), std::string("a\rb"), std::string("a\0[S]", 5)}) {
        EXPECT_THROW(file.PutTextValue("S", "Port", text), EIniFileException) << Printable(text);
        EXPECT_EQ(file.GetTextValue("S", "Port", ""), "COM1");
    }
    EXPECT_EQ(ReadFile(ini).find("[S]", 1), std::string::npos) << ReadFile(ini);
}

#ifdef _WIN32
TEST_F(StoresTest, IniFileBareNameIsTakenFromTheCurrentFolder)
{
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    TIniFile file("bare.ini");
    file.PutTextValue("S", "K", "v");
    fs::current_path(before);
    EXPECT_TRUE(fs::exists(folder / "bare.ini"));
}
#else
ino_t Inode(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Written to before anything is read from it: a store that parses the file
// lazily must not drop the line on the way.
TEST_F(StoresTest, IniFileKeepsALineThatIsNeitherKeyNorComment)
{
    const std::string text = "[Other]\nkeep=1\nline without equals sign\n";
    std::ofstream(ini) << text;
    TIniFile file(ini);
    file.PutTextValue("ComPort1", "Port", "COM1");
    EXPECT_EQ(ReadFile(ini), text + "[ComPort1]\nPort=COM1\n");
    EXPECT_EQ(file.GetTextValue("Other", "keep", ""), "1");
}

TEST_F(StoresTest, FilesAreReplacedWholeNotRewrittenInPlace)
{
    TIniFile file(ini);
    file.PutTextValue("S", "A", "1");
    const ino_t first = Inode(ini);
    file.PutTextValue("S", "B", "2");
    EXPECT_NE(Inode(ini), first);

    TSystemRegistryKey reg(key, platform::RegistryAccess::ReadWrite);
    reg.PutTextValue("A", "1");
    const ino_t firstKey = Inode(key);
    reg.PutIntValue("B", 2);
    EXPECT_NE(Inode(key), firstKey);

    // Nothing but the two files is left behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"key.json", "settings.ini"}));
}
#endif

// --- Registry key

TEST_F(StoresTest, RegistryKeyGivesBackEveryCharacterAndAwkwardText)
{
    std::vector<std::string> texts = CharacterTexts();
    for (const std::string& raw : RawCharacters())
        if (raw != std::string(1, '\0'))
            texts.push_back(raw);
    for (const std::string& t : AwkwardTexts())
        if (t.find('\0') == std::string::npos)
            texts.push_back(t);

    {
        TSystemRegistryKey reg(key, platform::RegistryAccess::ReadWrite);
        for (std::size_t i = 0; i < texts.size(); ++i)
            reg.PutTextValue(KeyName(i), texts[i]);
    }
    TSystemRegistryKey reg(key, platform::RegistryAccess::Read);
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(Printable(reg.GetTextValue(KeyName(i))), Printable(texts[i]));
}

TEST_F(StoresTest, RegistryKeyValuesAndTheirFailures)
{
    TSystemRegistryKey reg(key, platform::RegistryAccess::ReadWrite);
    for (const std::int32_t v : {0, -1, 1024, INT_MAX, INT_MIN}) {
        reg.PutIntValue("Buffer.InputSize", v);
        EXPECT_EQ(reg.GetIntValue("Buffer.InputSize"), v);
    }
    reg.PutTextValue("Port", std::string("COM1\0tail", 9));
    EXPECT_EQ(reg.GetTextValue("Port"), "COM1");  // cut at the first zero byte
    EXPECT_EQ(reg.GetTextValue("Absent"), "");

    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Buffer.OutputSize"); }),
              "Failed to get data for 'Buffer.OutputSize'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetTextValue("Buffer.InputSize"); }),
              "Invalid data type for 'Buffer.InputSize'");
    // A text read as an integer: larger than 4 bytes with its zero byte, it
    // cannot be read at all; a shorter one has the wrong type.
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Port"); }), "Failed to get data for 'Port'");
    reg.PutTextValue("Short", "abc");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Short"); }), "Invalid data type for 'Short'");

    // A value takes the kind it is written with last.
    reg.PutTextValue("Buffer.InputSize", "102");
    EXPECT_EQ(reg.GetTextValue("Buffer.InputSize"), "102");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Buffer.InputSize"); }),
              "Invalid data type for 'Buffer.InputSize'");
}

TEST_F(StoresTest, RegistryKeyOpenedForReading)
{
    EXPECT_EQ(MessageOf<ERegistryException>([&] { TSystemRegistryKey(key, platform::RegistryAccess::Read); }),
              "Failed to open key '" + key + "'");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find(key), std::string::npos) << diagnostics[0];

    TSystemRegistryKey(key, platform::RegistryAccess::ReadWrite).PutTextValue("Port", "COM1");
    TSystemRegistryKey reg(key, platform::RegistryAccess::Read);
    EXPECT_EQ(reg.GetTextValue("Port"), "COM1");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.PutTextValue("Port", "COM2"); }),
              "Failed to set data for 'Port'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.PutIntValue("Size", 1); }), "Failed to set data for 'Size'");
    EXPECT_EQ(reg.GetTextValue("Port"), "COM1");
}

#ifdef _WIN32
TEST_F(StoresTest, RegistryKeyReadsValuesOfOtherTypesAsTheRegistryLayerSays)
{
    using namespace platform;
    ASSERT_TRUE(WriteRawRegistryValue(key, "Expand", RegTypeExpandSz, std::string("%SystemRoot%\\x\0", 15)));
    ASSERT_TRUE(WriteRawRegistryValue(key, "Unterminated", RegTypeSz, "COM3"));
    ASSERT_TRUE(WriteRawRegistryValue(key, "Empty", RegTypeSz, ""));
    ASSERT_TRUE(WriteRawRegistryValue(key, "Binary", RegTypeBinary, "COM1"));
    ASSERT_TRUE(WriteRawRegistryValue(key, "Qword", RegTypeQword, std::string(8, '\1')));
    ASSERT_TRUE(WriteRawRegistryValue(key, "Short", RegTypeDword, std::string(2, '\1')));

    TSystemRegistryKey reg(key, RegistryAccess::Read);
    EXPECT_EQ(reg.GetTextValue("Expand"), "%SystemRoot%\\x");
    EXPECT_EQ(reg.GetTextValue("Unterminated"), "COM3");
    EXPECT_EQ(reg.GetTextValue("Empty"), "");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetTextValue("Binary"); }), "Invalid data type for 'Binary'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Binary"); }), "Invalid data type for 'Binary'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Qword"); }), "Failed to get data for 'Qword'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Short"); }), "Failed to get data for 'Short'");
}
#else
TEST_F(StoresTest, KeyFileKeepsTextsApartFromIntegers)
{
    {
        TSystemRegistryKey reg(key, platform::RegistryAccess::ReadWrite);
        reg.PutTextValue("Port", "COM1");
        reg.PutTextValue("Number", "1024");
        reg.PutIntValue("Buffer.InputSize", 1024);
        reg.PutIntValue("Timeouts.ReadInterval", -1);
    }
    const std::string json = ReadFile(key);
    for (const char* member :
         {"\"Port\": \"COM1\"", "\"Number\": \"1024\"", "\"Buffer.InputSize\": 1024", "\"Timeouts.ReadInterval\": -1"})
        EXPECT_NE(json.find(member), std::string::npos) << member << " in\n" << json;
}

TEST_F(StoresTest, KeyFileWrittenByHand)
{
    std::ofstream(key) << R"({
        "Unsigned": 4294967295,
        "TooLarge": 4294967296,
        "Fraction": 1.5,
        "Flag": true,
        "Bytes": { "bytes": "41ff00" },
        "BadBytes": { "bytes": "4g" },
        "Zero": "x\u0000y"
    })";
    TSystemRegistryKey reg(key, platform::RegistryAccess::Read);
    EXPECT_EQ(reg.GetIntValue("Unsigned"), -1);
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("TooLarge"); }), "Failed to get data for 'TooLarge'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetIntValue("Fraction"); }), "Invalid data type for 'Fraction'");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetTextValue("Flag"); }), "Invalid data type for 'Flag'");
    EXPECT_EQ(reg.GetTextValue("Bytes"), "A\xFF");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { reg.GetTextValue("BadBytes"); }),
              "Failed to get data for 'BadBytes'");
    EXPECT_EQ(reg.GetTextValue("Zero"), "x");

    // A file that is no key file is not opened (and so never overwritten).
    std::ofstream(key) << "[ComPort1]\nPort=COM1\n";
    EXPECT_THROW(TSystemRegistryKey(key, platform::RegistryAccess::ReadWrite), ERegistryException);
    EXPECT_EQ(ReadFile(key), "[ComPort1]\nPort=COM1\n");
}
#endif

// --- The port through the system's stores

TEST_F(StoresTest, PortSavesAndLoadsThroughTheSystemStores)
{
    TComPort saved(nullptr);
    saved.SetName("ComPort1");
    saved.SetPersistGroups(AllGroups);
    SetAway(saved);
    saved.SetPort(" COM 3 ");
    saved.SetEventChar('"');
    saved.FlowControl()->SetXoffChar('=');
    {
        TIniFile file(ini);
        saved.SaveToIni(file);
        TSystemRegistryKey reg(key, platform::RegistryAccess::ReadWrite);
        saved.SaveToRegistry(reg);
    }

    TComPort fromIni(nullptr);
    fromIni.SetName("ComPort1");
    fromIni.SetPersistGroups(AllGroups);
    TIniFile file(ini);
    fromIni.LoadFromIni(file);
    EXPECT_EQ(Snapshot(fromIni), Snapshot(saved));

    TComPort fromRegistry(nullptr);
    fromRegistry.SetPersistGroups(AllGroups);
    TSystemRegistryKey reg(key, platform::RegistryAccess::Read);
    fromRegistry.LoadFromRegistry(reg);
    EXPECT_EQ(Snapshot(fromRegistry), Snapshot(saved));

    // Each key holds its own value in both stores, in its text form or as an
    // integer (a loader that swapped two characters, or a store that dropped
    // a value and gave the default back, would still compare equal above
    // when the defaults happened to match).
    const struct {
        const char* key;
        const char* text;
    } texts[] = {
        {"Port", " COM 3 "},
        {"BaudRate", "Custom"},
        {"StopBits", "2"},
        {"DataBits", "7"},
        {"Parity", "Mark"},
        {"EventChar", "\""},
        {"DiscardNull", "Yes"},
        {"Parity.Check", "Yes"},
        {"Parity.ReplaceChar", ";"},
        {"FlowControl", "Custom"},
        {"FlowControl.ControlRTS", "Toggle"},
        {"FlowControl.XoffChar", "="},
        {"FlowControl.XonChar", "#200"},
        {"FlowControl.XonXoffOut", "No"},
    };
    const struct {
        const char* key;
        std::int32_t value;
    } ints[] = {
        {"CustomBaudRate", 31250},           {"Buffer.OutputSize", 2048},          {"Buffer.InputSize", 4096},
        {"Timeouts.ReadInterval", 50},       {"Timeouts.ReadTotalConstant", 200},  {"Timeouts.ReadTotalMultiplier", 3},
        {"Timeouts.WriteTotalConstant", -1}, {"Timeouts.WriteTotalMultiplier", 7},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(file.GetTextValue("ComPort1", t.key, "absent"), t.text) << t.key << " in the INI file";
        EXPECT_EQ(reg.GetTextValue(t.key), t.text) << t.key << " in the registry";
    }
    for (const auto& i : ints) {
        EXPECT_EQ(file.GetIntValue("ComPort1", i.key, 12345), i.value) << i.key << " in the INI file";
        EXPECT_EQ(reg.GetIntValue(i.key), i.value) << i.key << " in the registry";
    }

    // A person can read the file.
    const std::string text = ReadFile(ini);
    for (const char* line : {"[ComPort1]", "BaudRate=Custom", "CustomBaudRate=31250", "Timeouts.WriteTotalConstant=-1",
                             "FlowControl.XonChar=#200"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

}  // namespace
