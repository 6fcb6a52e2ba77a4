// The catalog reader against files that msgfmt made (both byte orders), and
// against those files damaged: a damaged catalog is refused whole, never read
// outside its bytes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/MoCatalog.h"
#include "tests/framework/Catalogs.h"

namespace {

using platform::MoCatalog;

const char* const SamplePo =
    "msgid \"\"\n"
    "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
    "msgid \"Unable to open com port\"\n"
    "msgstr \"Schnittstelle lässt sich nicht öffnen\"\n\n"
    "msgctxt \"button\"\n"
    "msgid \"RUN\"\n"
    "msgstr \"START\"\n\n"
    "msgid \"%d card\"\n"
    "msgid_plural \"%d cards\"\n"
    "msgstr[0] \"%d Karte\"\n"
    "msgstr[1] \"%d Karten\"\n\n"
    "msgid \"Not translated\"\n"
    "msgstr \"\"\n\n"
    "msgid \"Ω\"\n"
    "msgstr \"𝄞\"\n";

// Makes the sample catalog with msgfmt and gives its bytes.
std::string MakeSample(const tarvel_test::CatalogFolder& folder, const std::string& endianness,
                       const std::string& po = SamplePo)
{
    const auto poFile = folder.Root() / "sample.po";
    const auto moFile = folder.Root() / ("sample-" + endianness + ".mo");
    std::ofstream(poFile, std::ios::binary) << po;
    const std::string command = "msgfmt --endianness=" + endianness + " -o \"" + moFile.string() + "\" \"" +
                                poFile.string() + "\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(moFile, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MoCatalog, ReadsWhatMsgfmtWritesInBothByteOrders)
{
    tarvel_test::CatalogFolder folder;
    for (const char* endianness : {"little", "big"}) {
        SCOPED_TRACE(endianness);
        const std::string bytes = MakeSample(folder, endianness);
        ASSERT_GT(bytes.size(), 28u);
        std::string error;
        const auto catalog = MoCatalog::Parse(bytes, &error);
        ASSERT_TRUE(catalog) << error;
        EXPECT_EQ(catalog->Find("Unable to open com port"), "Schnittstelle lässt sich nicht öffnen");
        EXPECT_EQ(catalog->Find("Ω"), "𝄞");
        EXPECT_EQ(catalog->Find("button\x04RUN"), "START");
        EXPECT_EQ(catalog->Find("RUN"), std::nullopt) << "a text with a context is found only with it";
        EXPECT_EQ(catalog->Find("%d card"), "%d Karte") << "a plural entry gives its first form";
        EXPECT_EQ(catalog->Find("Not translated"), std::nullopt);
        EXPECT_EQ(catalog->Find(""), std::nullopt) << "the header is no translation";
        EXPECT_EQ(catalog->Find("unable to open com port"), std::nullopt);
        EXPECT_EQ(catalog->Size(), 4u);
    }
}

TEST(MoCatalog, EveryShortenedFileIsRefused)
{
    tarvel_test::CatalogFolder folder;
    const std::string bytes = MakeSample(folder, "little");
    ASSERT_TRUE(MoCatalog::Parse(bytes));
    for (std::size_t length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(MoCatalog::Parse(std::string_view(bytes).substr(0, length))) << length << " bytes";
}

// Puts a 32-bit little-endian word at `at`.
void Poke(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t Peek(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

TEST(MoCatalog, DamagedFilesAreRefusedWhole)
{
    tarvel_test::CatalogFolder folder;
    const std::string good = MakeSample(folder, "little");
    ASSERT_TRUE(MoCatalog::Parse(good));
    const std::uint32_t originals = Peek(good, 12);
    const std::uint32_t translations = Peek(good, 16);
    const std::uint32_t lastOriginal = originals + 8 * (Peek(good, 8) - 1);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"unknown magic", 0, 0x12345678u},
        {"major revision 2", 4, 0x00020000u},
        {"more strings than the tables hold", 8, 0x10000000u},
        {"original table beyond the end", 12, 0xFFFFFFF0u},
        {"translation table beyond the end", 16, static_cast<std::uint32_t>(good.size())},
        {"string offset beyond the end", lastOriginal + 4, 0xFFFFFFFFu},
        {"string length wraps past the end", lastOriginal, 0xFFFFFFFFu},
        {"string without its NUL", lastOriginal, Peek(good, lastOriginal) + 1},
        {"translation offset beyond the end", translations + 4, static_cast<std::uint32_t>(good.size())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        Poke(bytes, c.at, c.value);
        std::string error;
        EXPECT_FALSE(MoCatalog::Parse(bytes, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(MoCatalog, ACatalogInAnotherCharsetIsRefused)
{
    tarvel_test::CatalogFolder folder;
    // msgfmt keeps the bytes as they are; the reader must not hand them out as UTF-8.
    const std::string latin = MakeSample(
        folder, "little",
        "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\nmsgid \"a\"\nmsgstr \"b\"\n");
    std::string error;
    EXPECT_FALSE(MoCatalog::Parse(latin, &error));
    EXPECT_NE(error.find("iso-8859-1"), std::string::npos) << error;

    const std::string none = MakeSample(folder, "little", "msgid \"a\"\nmsgstr \"b\"\n");
    const auto catalog = MoCatalog::Parse(none);
    ASSERT_TRUE(catalog) << "no header: taken as UTF-8";
    EXPECT_EQ(catalog->Find("a"), "b");
}

TEST(MoCatalog, LoadReadsAFileAndNamesWhyItCannot)
{
    tarvel_test::CatalogFolder folder;
    ASSERT_TRUE(folder.Add("de", "default", {{"Registry error", "Registrierungsfehler"}}));
    const auto file = folder.LocaleDir() / "de" / "LC_MESSAGES" / "default.mo";
    const auto catalog = MoCatalog::Load(file);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->Find("Registry error"), "Registrierungsfehler");

    std::string error;
    EXPECT_FALSE(MoCatalog::Load(folder.Root() / "missing.mo", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
