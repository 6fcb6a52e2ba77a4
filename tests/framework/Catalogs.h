#pragma once
// Test help for the translation layer: GNU catalogs made with msgfmt in a
// temporary folder, and environment variables set for one test and put
// back afterwards.
//
// Under Wine no Linux program can be started, so on Windows the catalog is
// written here in the same layout (sorted originals, no hash table); on
// Linux the reader is checked against msgfmt's own files.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tarvel_test {

using Messages = std::vector<std::pair<std::string, std::string>>;  // msgid, msgstr (UTF-8)

// A temporary folder holding a "locale" folder of catalogs; removed with
// everything in it when the object goes.
class CatalogFolder {
public:
    CatalogFolder()
    {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
            auto candidate = base / ("tarvel-catalogs-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
                root_ = candidate;
        }
        if (root_.empty())
            ADD_FAILURE() << "cannot make a temporary folder under " << base;
    }
    ~CatalogFolder()
    {
        std::error_code ignored;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ignored);
    }
    CatalogFolder(const CatalogFolder&) = delete;
    CatalogFolder& operator=(const CatalogFolder&) = delete;

    std::filesystem::path LocaleDir() const { return root_ / "locale"; }
    std::filesystem::path Root() const { return root_; }

    // Writes <locale>/<language>/LC_MESSAGES/<domain>.po and makes the .mo
    // beside it with msgfmt.
    ::testing::AssertionResult Add(const std::string& language, const std::string& domain, const Messages& messages)
    {
        return Make(LocaleDir() / language / "LC_MESSAGES", domain, messages);
    }

    // The same in any folder below the root (for catalogs that must not be found).
    ::testing::AssertionResult Make(const std::filesystem::path& folder, const std::string& domain,
                                    const Messages& messages)
    {
        std::filesystem::create_directories(folder);
        const auto po = folder / (domain + ".po");
        const auto mo = folder / (domain + ".mo");
        {
            std::ofstream out(po, std::ios::binary);
            out << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
            for (const auto& [id, text] : messages)
                out << "msgid \"" << Escape(id) << "\"\nmsgstr \"" << Escape(text) << "\"\n\n";
            if (!out)
                return ::testing::AssertionFailure() << "cannot write " << po;
        }
#ifdef _WIN32
        if (!WriteMo(mo, messages))
            return ::testing::AssertionFailure() << "cannot write " << mo;
        return ::testing::AssertionSuccess();
#endif
        const std::string command = "msgfmt -o \"" + mo.string() + "\" \"" + po.string() + "\"";
        const int status = std::system(command.c_str());
        if (status != 0 || !std::filesystem::is_regular_file(mo))
            return ::testing::AssertionFailure()
                   << "\"" << command << "\" failed (status " << status << "); msgfmt comes with gettext";
        return ::testing::AssertionSuccess();
    }

private:
    // A little-endian catalog: header, the two tables, then the strings.
    static bool WriteMo(const std::filesystem::path& mo, const Messages& messages)
    {
        std::map<std::string, std::string> sorted{{"", "Content-Type: text/plain; charset=UTF-8\n"}};
        for (const auto& [id, text] : messages)
            sorted[id] = text;
        const auto count = static_cast<std::uint32_t>(sorted.size());
        std::string words;
        const auto word = [&words](std::uint32_t value) {
            for (int i = 0; i < 4; ++i)
                words += static_cast<char>((value >> (8 * i)) & 0xFF);
        };
        std::string strings;
        const std::uint32_t stringsAt = 28 + 16 * count;
        std::string originals;
        std::string translations;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> ids;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> texts;
        for (const auto& [id, text] : sorted) {
            ids.emplace_back(static_cast<std::uint32_t>(id.size()),
                             stringsAt + static_cast<std::uint32_t>(strings.size()));
            strings += id + '\0';
        }
        for (const auto& [id, text] : sorted) {
            texts.emplace_back(static_cast<std::uint32_t>(text.size()),
                               stringsAt + static_cast<std::uint32_t>(strings.size()));
            strings += text + '\0';
        }
        for (std::uint32_t value : {0x950412DEu, 0u, count, 28u, 28 + 8 * count, 0u, stringsAt})
            word(value);
        for (const auto& [length, offset] : ids) {
            word(length);
            word(offset);
        }
        for (const auto& [length, offset] : texts) {
            word(length);
            word(offset);
        }
        std::ofstream out(mo, std::ios::binary);
        out << words << strings;
        return static_cast<bool>(out);
    }

    static std::string Escape(const std::string& text)
    {
        std::string out;
        for (char c : text) {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
        return out;
    }

    std::filesystem::path root_;
};

// Sets environment variables for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : saved_)
            Put(name, value);
    }

    // nullopt removes the variable.
    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        if (saved_.find(name) == saved_.end()) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        Put(name, value);
    }

private:
    static void Put(const std::string& name, const std::optional<std::string>& value)
    {
#ifdef _WIN32
        _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
#endif
    }

    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace tarvel_test
