// The INI file on Linux: the text rules of IniText.h on a file that is read
// whole for each call and replaced whole for each write.
//
// - A write makes the new text in a temporary file beside the file, with the
//   file's permissions (and owner, where that may be given), flushes it to
//   the disk and renames it over the file, so the file is never seen
//   half-written. A file that is a symbolic link has its target replaced.
// - A file that cannot be read, that is not text (it holds a zero byte), or
//   that may not be written, is never replaced: the write fails and says why. Such a file reads as
//   one without keys, and the diagnostic stream says why once.
// - A missing file reads as empty and is made by the first write, with the
//   permissions that the process's umask leaves of rw-rw-rw-.
// - Values are protected as platform/IniValue.h says; section and key names
//   that could not be found again are refused.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/IniValue.h"
#include "platform/SettingsFiles.h"
#include "platform/linux/IniText.h"

namespace platform {
namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

// The permissions a new file gets: rw-rw-rw- less the umask, read without
// changing it (umask() would change it for every thread meanwhile).
mode_t NewFileMode()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(0666 & ~std::strtoul(line.c_str() + 6, nullptr, 8));
    return 0644;
}

// The file's text, or the reason it cannot be had. A missing file is empty.
struct Contents {
    bool ok = false;
    bool exists = false;
    std::string text;
    std::string error;
};

Contents ReadWhole(const std::string& path)
{
    Contents contents;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            contents.ok = true;
            return contents;
        }
        contents.error = "the file cannot be read (" + ErrnoText(errno) + "); it is left as it is";
        return contents;
    }
    contents.exists = true;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
        ::close(fd);
        contents.error = "it is not a regular file; it is left as it is";
        return contents;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            contents.text.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            contents.error = "the file cannot be read (" + ErrnoText(errno) + "); it is left as it is";
        break;
    }
    ::close(fd);
    if (!contents.error.empty())
        return contents;
    if (contents.text.find('\0') != std::string::npos) {
        contents.error = "the file holds zero bytes, so it is not a text file; it is left as it is";
        return contents;
    }
    contents.ok = true;
    return contents;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file a write replaces: the target of a symbolic link, else path.
std::string Target(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// Replaces the file at path with text; on failure error says why and the
// file is as it was.
bool Replace(const std::string& path, const std::string& text, std::string& error)
{
    const std::string target = Target(path);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    // The rename would replace a file that may not be written as well.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        error = "the file may not be written (" + ErrnoText(errno) + "); it is left as it is";
        return false;
    }
    std::string temporary = folder + (slash == std::string::npos ? "/" : "") + "." + base + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "no temporary file can be made beside it (" + ErrnoText(errno) + ")";
        return false;
    }
    temporary = name.data();
    auto fail = [&](const std::string& what) {
        error = what + " (" + ErrnoText(errno) + ")";
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    };
    if (exists) {
        // The owner can be given only by a privileged process; the
        // permissions are set after it, as a change of owner may clear some.
        if (info.st_uid != ::geteuid() || info.st_gid != ::getegid())
            (void)::fchown(fd, info.st_uid, info.st_gid);
        if (::fchmod(fd, info.st_mode & 07777) != 0)
            return fail("the temporary file cannot take the file's permissions");
    } else if (::fchmod(fd, NewFileMode()) != 0) {
        return fail("the new file's permissions cannot be set");
    }
    if (!WriteAll(fd, text))
        return fail("the temporary file cannot be written");
    if (::fsync(fd) != 0)
        return fail("the temporary file cannot be flushed");
    if (::close(fd) != 0) {
        error = "the temporary file cannot be written (" + ErrnoText(errno) + ")";
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "the file cannot be replaced (" + ErrnoText(errno) + ")";
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

class PosixIniFile final : public IIniFile {
public:
    explicit PosixIniFile(const std::string& path) : path_(path) {}

    std::optional<std::string> ReadText(const std::string& section, const std::string& key) override
    {
        const Contents contents = ReadWhole(path_);
        if (!contents.ok) {
            // Once for the file, not for each of the keys a load reads.
            if (contents.error != readError_)
                Diagnostic("INI file " + path_ + ": " + contents.error + "; its keys read as absent");
            readError_ = contents.error;
            return std::nullopt;
        }
        readError_.clear();
        return ini::ReadValue(contents.text, section, key);
    }

    bool WriteText(const std::string& section, const std::string& key, const std::string& value) override
    {
        for (const std::string& problem :
             {ini::SectionNameProblem(section), ini::KeyNameProblem(key), IniValueProblem(value)}) {
            if (!problem.empty()) {
                error_ = problem;
                return false;
            }
        }
        const Contents contents = ReadWhole(path_);
        if (!contents.ok) {
            error_ = contents.error;
            return false;
        }
        const std::string text = ini::WriteValue(contents.text, section, key, ProtectIniValue(value));
        if (contents.exists && text == contents.text)
            return true;
        return Replace(path_, text, error_);
    }

    std::string Error() const override { return error_; }
    std::string Path() const override { return path_; }

private:
    std::string path_;
    std::string error_;
    std::string readError_;
};

}  // namespace

std::unique_ptr<IIniFile> OpenIniFile(const std::string& path) { return std::make_unique<PosixIniFile>(path); }

}  // namespace platform
