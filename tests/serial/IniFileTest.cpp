// The system's INI file on files that other programs share: what reads give
// and, after each write, the whole file byte for byte. The same table runs in
// the Windows build (under Wine) through the profile functions; a row whose
// bytes differ there says what the Windows build gives and why it is kept.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Diagnostics.h"
#include "serial/ComPort.h"
#include "serial/SettingsStore.h"
#include "tests/support/Files.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

using tarvel_test::OnWindows;
using tarvel_test::ReadFile;
using tarvel_test::WriteFile;

// Line endings and other bytes made visible, so a failure shows the file.
std::string Shown(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n\n";
        else if (c == '\r')
            out += "\\r";
        else if (code >= 32 && code < 127)
            out += c;
        else {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[code >> 4];
            out += digits[code & 15];
        }
    }
    return out;
}

// LF endings as CR LF.
std::string Crlf(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// A file as several programs keep it: comments of both kinds, a key before
// the first section, keys with blanks, values that INI readers of other
// kinds would take apart, a line that is neither key nor comment, the same
// section twice in other letter cases, and no final line ending.
const std::string Shared =
    "; settings of several programs\n"
    "# written by hand\n"
    "top=before any section\n"
    "[My Program]\n"
    "Window Size=800\n"
    "Path=C:\\Data\\x\n"
    "List=a,b,c\n"
    "Note=keep ; this\n"
    "Quoted = \"  spaced  \"\n"
    "Eq=a=b\n"
    "Latin=caf\xE9\n"
    "\n"
    "[ComPort1]\n"
    "Port=COM1\n"
    "  Baud Rate  =  9600  \n"
    "line without equals sign\n"
    "\n"
    "[comport1]\n"
    "Port=COM9\n"
    "Extra=x";

// Less common spellings: a UTF-8 byte-order mark, a header with blanks and
// a comment after it, a key twice, keys commented out, quotes that do not
// enclose the whole value, a tab at either end, a header without its "]".
const std::string Odd =
    "\xEF\xBB\xBF  [ Odd One ]  ; comment after the header\n"
    "K=1\n"
    "k=2\n"
    ";Gone=1\n"
    "  #Gone=2\n"
    "Single='x y'\n"
    "Both=\"a\" b\"\n"
    "Open=\"unbalanced\n"
    "Tab=\tv\t\n"
    "[header without its bracket\n"
    "After=1\n";

struct ReadCase {
    const char* what;
    std::string section, key;
    std::optional<std::string> value;  // nothing: absent
    std::optional<std::optional<std::string>> windows;
    const char* why;
};

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("tarvel-ini-" + tarvel_test::UniqueName());
        fs::create_directories(folder);
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
    }

    void TearDown() override
    {
        platform::SetDiagnosticSink({});
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // A file of its own for each use: the profile functions keep files they
    // have read, and a name used again could be answered from that.
    fs::path NewFile(const std::string& text, bool create = true)
    {
        const fs::path path = folder / ("f" + std::to_string(++files) + ".ini");
        if (create)
            WriteFile(path, text);
        return path;
    }

    fs::path folder;
    std::vector<std::string> diagnostics;
    unsigned files = 0;
};

TEST_F(IniFileTest, ReadsAsTheProfileFunctionsDo)
{
    const ReadCase cases[] = {
        {"key with a blank, letter case ignored", "my program", "WINDOW SIZE", "800", {}, nullptr},
        {"backslashes are no escapes", "My Program", "Path", "C:\\Data\\x", {}, nullptr},
        {"commas are no lists", "My Program", "List", "a,b,c", {}, nullptr},
        {"a semicolon inside a value is part of it", "My Program", "Note", "keep ; this", {}, nullptr},
        {"blanks outside one pair of quotes go, those inside stay", "My Program", "Quoted", "  spaced  ", {}, nullptr},
        {"the first = ends the key", "My Program", "Eq", "a=b", {}, nullptr},
        {"bytes above 127 as they are", "My Program", "Latin", "caf\xE9", {}, nullptr},
        {"blanks around key and value", "ComPort1", "Baud Rate", "9600", {}, nullptr},
        {"the first of two sections of one name", "COMPORT1", "Port", "COM1", {}, nullptr},
        {"only the first occurrence of a section is read", "ComPort1", "Extra", std::nullopt, {}, nullptr},
        {"keys before the first section are in none", "", "top", std::nullopt, "before any section",
         "Wine reads the lines before the first section as a section without name. The component's section "
         "is its Name; a port without a name keeps its keys in a section \"[]\" of its own instead of among "
         "lines that another program wrote there."},
        {"a comment is no key", "My Program", "; settings of several programs", std::nullopt, {}, nullptr},
        {"a line without = is no key", "ComPort1", "line without equals sign", std::nullopt, {}, nullptr},
        {"an absent section", "Other", "Port", std::nullopt, {}, nullptr},
    };
    const ReadCase oddCases[] = {
        {"a header with blanks, after a byte-order mark", "odd one", "K", "1", {}, nullptr},
        {"keys commented out", "Odd One", "Gone", std::nullopt, {}, nullptr},
        {"single quotes", "Odd One", "Single", "x y", {}, nullptr},
        {"only the enclosing pair of quotes goes", "Odd One", "Both", "a\" b", {}, nullptr},
        {"a quote without its pair stays", "Odd One", "Open", "\"unbalanced", {}, nullptr},
        {"tabs at either end go", "Odd One", "Tab", "v", {}, nullptr},
        {"a header without its ] starts no section", "Odd One", "After", "1", {}, nullptr},
        {"nor is it a section of its own", "header without its bracket", "After", std::nullopt, {}, nullptr},
    };
    auto check = [&](const std::string& text, const auto& table, const char* how) {
        TIniFile file(NewFile(text).string());
        for (const ReadCase& c : table) {
            const std::optional<std::string> expected = OnWindows && c.windows ? *c.windows : c.value;
            EXPECT_EQ(file.GetTextValue(c.section, c.key, "(absent)"), expected.value_or("(absent)")) << c.what << how;
        }
    };
    check(Shared, cases, "");
    check(Crlf(Shared), cases, ", CR LF");
    check(Odd, oddCases, "");
    check(Crlf(Odd), oddCases, ", CR LF");
}

// Wine's profile functions write the whole file anew from what they have
// read, where Windows changes the key's line only. After a write through
// them, compared with the file that Windows (and the store on Linux) leaves:
// - every line ends in CR LF, the last one too (Linux files keep LF, and a
//   file without a final line ending keeps that);
// - blank lines are gone;
// - the blanks at either end of each line, and around the "=" of a key, are
//   gone;
// - a section header is "[name]": the blanks inside the brackets and what
//   followed the "]" (a comment) are gone.
// Every other byte, the comments, the unknown lines, the spelling of names
// and the order of the lines included, is the same. The differences are
// Wine's and are kept: a file that other programs share stays as they wrote
// it, which is what Windows does.
std::string AsWineWritesIt(const std::string& text)
{
    auto trim = [](std::string line) {
        const auto blank = [](char c) {
            return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32;
        };
        while (!line.empty() && blank(line.back()))
            line.pop_back();
        std::size_t start = 0;
        while (start < line.size() && blank(line[start]))
            ++start;
        return line.substr(start);
    };
    const std::string bom = "\xEF\xBB\xBF";
    const bool hasBom = text.rfind(bom, 0) == 0;
    std::string out = hasBom ? bom : "";
    std::istringstream lines(hasBom ? text.substr(bom.size()) : text);
    for (std::string line; std::getline(lines, line);) {
        line = trim(line);
        if (line.empty())
            continue;
        const std::size_t equals = line.find('=');
        if (line[0] == '[' && line.find(']') != std::string::npos)
            line = "[" + trim(line.substr(1, line.find(']') - 1)) + "]";
        else if (line[0] != ';' && line[0] != '#' && equals != std::string::npos)
            line = trim(line.substr(0, equals)) + "=" + trim(line.substr(equals + 1));
        out += line + "\r\n";
    }
    return out;
}

struct WriteCase {
    const char* what;
    std::string before;  // nothing: no file
    bool exists;
    std::string section, key, value;
    std::string after;
    std::optional<std::string> windows;  // what the Windows build writes, where it differs
    const char* why;
};

std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(IniFileTest, WritesChangeOneLineAndKeepEveryOtherByte)
{
    const std::vector<WriteCase> cases = {
        {"an existing key",
         Shared,
         true,
         "My Program",
         "Window Size",
         "1024",
         ReplaceOnce(Shared, "Window Size=800", "Window Size=1024"),
         {},
         nullptr},
        {"an existing key named in other letter cases: the first occurrence",
         Shared,
         true,
         "COMPORT1",
         "port",
         "COM3",
         ReplaceOnce(Shared, "Port=COM1", "Port=COM3"),
         {},
         nullptr},
        {"a key with blanks around it keeps them before its value",
         Shared,
         true,
         "ComPort1",
         "Baud Rate",
         "19200",
         ReplaceOnce(Shared, "  Baud Rate  =  9600  ", "  Baud Rate  =  19200"),
         {},
         nullptr},
        {"a key only in the second occurrence of a section goes into the first",
         Shared,
         true,
         "ComPort1",
         "Extra",
         "y",
         ReplaceOnce(Shared, "equals sign\n", "equals sign\nExtra=y\n"),
         {},
         nullptr},
        {"a new key goes after the last line of the section that is not blank",
         Shared,
         true,
         "ComPort1",
         "StopBits",
         "1",
         ReplaceOnce(Shared, "equals sign\n", "equals sign\nStopBits=1\n"),
         {},
         nullptr},
        {"a new section goes at the end, the last line ended first",
         Shared,
         true,
         "ComPort2",
         "Port",
         "COM2",
         Shared + "\n[ComPort2]\nPort=COM2\n",
         {},
         nullptr},
        {"a value that reading would trim is quoted",
         Shared,
         true,
         "My Program",
         "Note",
         " lead",
         ReplaceOnce(Shared, "Note=keep ; this", "Note=\" lead\""),
         {},
         nullptr},
        {"\\ ; = quotes and bytes above 127 are written as they are",
         Shared,
         true,
         "My Program",
         "Path",
         "C:\\x ; y=z \"q\" \xE9",
         ReplaceOnce(Shared, "Path=C:\\Data\\x", "Path=C:\\x ; y=z \"q\" \xE9"),
         {},
         nullptr},
        {"CR LF: an existing key",
         Crlf(Shared),
         true,
         "ComPort1",
         "Port",
         "COM4",
         ReplaceOnce(Crlf(Shared), "Port=COM1", "Port=COM4"),
         {},
         nullptr},
        {"CR LF: a new key",
         Crlf(Shared),
         true,
         "My Program",
         "Size",
         "3",
         ReplaceOnce(Crlf(Shared), "Latin=caf\xE9\r\n", "Latin=caf\xE9\r\nSize=3\r\n"),
         {},
         nullptr},
        {"CR LF: a new section",
         Crlf(Shared),
         true,
         "ComPort2",
         "Port",
         "COM2",
         Crlf(Shared + "\n[ComPort2]\nPort=COM2\n"),
         {},
         nullptr},
        {"the blank lines before the next section stay before it",
         "[First]\n; no keys yet\n\n[Next]\nA=1\n",
         true,
         "First",
         "K",
         "v",
         "[First]\n; no keys yet\nK=v\n\n[Next]\nA=1\n",
         {},
         nullptr},
        {"a section of only its header",
         "[Empty]\n[Next]\n",
         true,
         "Empty",
         "K",
         "v",
         "[Empty]\nK=v\n[Next]\n",
         {},
         nullptr},
        {"only a comment, no final line ending",
         "; nothing yet",
         true,
         "ComPort1",
         "Port",
         "COM1",
         "; nothing yet\n[ComPort1]\nPort=COM1\n",
         {},
         nullptr},
        {"an empty file", "", true, "ComPort1", "Port", "COM1", "[ComPort1]\nPort=COM1\n", {}, nullptr},
        {"no file", "", false, "ComPort1", "Port", "COM1", "[ComPort1]\nPort=COM1\n", {}, nullptr},
        {"a section named General is just that",
         "",
         false,
         "General",
         "Port",
         "COM1",
         "[General]\nPort=COM1\n",
         {},
         nullptr},
        {"an empty value", "[S]\nK=old\n", true, "S", "K", "", "[S]\nK=\n", {}, nullptr},
        {"the first of two keys of one name",
         Odd,
         true,
         "Odd One",
         "K",
         "3",
         ReplaceOnce(Odd, "K=1", "K=3"),
         {},
         nullptr},
        {"a key commented out stays so", Odd, true, "Odd One", "Gone", "back", Odd + "Gone=back\n", {}, nullptr},
    };
    for (const WriteCase& c : cases) {
        const fs::path path = NewFile(c.before, c.exists);
        {
            TIniFile file(path.string());
            file.PutTextValue(c.section, c.key, c.value);
            EXPECT_EQ(file.GetTextValue(c.section, c.key, "(absent)"), c.value) << c.what;
        }
        const std::string expected = !OnWindows ? c.after : c.windows ? *c.windows : AsWineWritesIt(c.after);
        EXPECT_EQ(Shown(ReadFile(path)), Shown(expected)) << c.what;
    }
}

// The file that QSettings used to rewrite whole: saving the port's basic
// settings into it adds the port's section and leaves the six lines alone.
TEST_F(IniFileTest, SavingThePortKeepsTheOtherProgramsLines)
{
    const std::string six =
        "; settings of several programs\n"
        "[My Program]\n"
        "Window Size=800\n"
        "Path=C:\\Data\\x\n"
        "List=a,b,c\n"
        "Note=keep ; this\n";
    const fs::path path = NewFile(six);
    TComPort port(nullptr);
    port.SetName("ComPort1");
    {
        TIniFile file(path.string());
        port.SaveToIni(file);
    }
    const std::string expected = six +
                                 "[ComPort1]\n"
                                 "Port=COM1\n"
                                 "BaudRate=9600\n"
                                 "StopBits=1\n"
                                 "DataBits=8\n"
                                 "Parity=None\n"
                                 "FlowControl=None\n";
    EXPECT_EQ(Shown(ReadFile(path)), Shown(OnWindows ? AsWineWritesIt(expected) : expected));
}

#ifndef _WIN32
// A file the store cannot take as an INI text is never replaced, and the
// diagnostic line says why; reading it gives the defaults.
TEST_F(IniFileTest, FilesThatAreNoTextAreLeftAlone)
{
    const struct {
        const char* what;
        std::string text;
        const char* reason;
    } cases[] = {
        {"zero bytes", std::string("[ComPort1]\nPort=COM1\n") + std::string("\0\x01\x02", 3), "not a text file"},
        {"UTF-16", std::string("\xFF\xFE[\0S\0]\0", 8), "not a text file"},
    };
    for (const auto& c : cases) {
        const fs::path path = NewFile(c.text);
        diagnostics.clear();
        TIniFile file(path.string());
        EXPECT_EQ(file.GetTextValue("ComPort1", "Port", "(absent)"), "(absent)") << c.what;
        EXPECT_THROW(file.PutTextValue("ComPort1", "Port", "COM2"), EIniFileException) << c.what;
        EXPECT_EQ(file.GetTextValue("ComPort1", "Other", "(absent)"), "(absent)") << c.what;
        EXPECT_EQ(ReadFile(path), c.text) << c.what;
        // One line for the reads, one for the write.
        ASSERT_EQ(diagnostics.size(), 2u) << c.what;
        for (const std::string& line : diagnostics) {
            EXPECT_NE(line.find(c.reason), std::string::npos) << line;
            EXPECT_NE(line.find(path.string()), std::string::npos) << line;
        }
    }

    // A folder where the file should be.
    const fs::path path = folder / "folder.ini";
    fs::create_directory(path);
    diagnostics.clear();
    TIniFile file(path.string());
    EXPECT_THROW(file.PutTextValue("ComPort1", "Port", "COM2"), EIniFileException);
    EXPECT_TRUE(fs::is_directory(path));
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("not a regular file"), std::string::npos) << diagnostics[0];
}

// A file that may not be written could still be replaced through its
// folder; it is left as it is. (As root, the check runs with the effective
// user switched to nobody.)
TEST_F(IniFileTest, AFileThatMayNotBeWrittenIsLeftAlone)
{
    const fs::path path = NewFile("[S]\nK=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    TIniFile file(path.string());
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    bool refused = false;
    try {
        file.PutTextValue("S", "K", "2");
    } catch (const EIniFileException&) {
        refused = true;
    }
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(ReadFile(path), "[S]\nK=1\n");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("may not be written"), std::string::npos) << diagnostics[0];
}

TEST_F(IniFileTest, ReplacingKeepsPermissionsAndLinks)
{
    const fs::path path = NewFile("[S]\nK=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    TIniFile(path.string()).PutTextValue("S", "K", "2");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(path), "[S]\nK=2\n");

    // Written through a link, the file it points to changes; the link stays.
    const fs::path link = folder / "link.ini";
    fs::create_symlink(path, link);
    TIniFile(link.string()).PutTextValue("S", "K", "3");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(path), "[S]\nK=3\n");

    // A new file: rw-rw-rw- less the umask.
    const mode_t before = ::umask(027);
    const fs::path fresh = NewFile("", false);
    TIniFile(fresh.string()).PutTextValue("S", "K", "1");
    ::umask(before);
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // Nothing else is left in the folder.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"f1.ini", "f2.ini", "link.ini"}));
}

TEST_F(IniFileTest, NamesThatCouldNotBeFoundAgainAreRefused)
{
    const fs::path path = NewFile("[S]\nK=1\n");
    TIniFile file(path.string());
    const struct {
        std::string section, key;
    } cases[] = {
        {"a]b", "K"}, {" S", "K"}, {"S\n", "K"}, {"S", "a=b"},
        {"S", "K "},  {"S", ";K"}, {"S", "[K"},  {"S", std::string("K\0", 2)},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(file.PutTextValue(c.section, c.key, "v"), EIniFileException) << c.section << "/" << c.key;
        EXPECT_EQ(ReadFile(path), "[S]\nK=1\n") << c.section << "/" << c.key;
    }
}
#endif

}  // namespace
