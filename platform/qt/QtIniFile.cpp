// The INI file on Linux: QSettings in INI format.
//
// QSettings quotes and escapes what its format would otherwise alter (";",
// ",", "=", quotes, "\", blanks at either end, control characters, a leading
// "@"), and writes the file through a temporary file that replaces it, so a
// crash never leaves it half-written. Each write is synced at once, so that a
// failure is seen at the key that caused it.
//
// A file with lines QSettings cannot read is never written. Comments are not
// kept when the file is written (QSettings drops them).
//
// Texts are UTF-8, the Linux code page. A text that is not valid UTF-8 is
// kept as bytes (QSettings writes those as @ByteArray(...)), so it too comes
// back unchanged.

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include "platform/SettingsFiles.h"

namespace platform {
namespace {

bool IsValidUtf8(const std::string& text)
{
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QByteArray encoded = decoded.toUtf8();
    return encoded.size() == static_cast<qsizetype>(text.size()) &&
           std::equal(encoded.begin(), encoded.end(), text.begin());
}

std::string ToStd(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

class QtIniFile final : public IIniFile {
public:
    explicit QtIniFile(const std::string& path)
        : path_(path), settings_(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())),
                                 QSettings::IniFormat)
    {
    }

    std::optional<std::string> ReadText(const std::string& section, const std::string& key) override
    {
        const QVariant value = settings_.value(KeyPath(section, key));
        if (!value.isValid())
            return std::nullopt;
        switch (value.typeId()) {
        case QMetaType::QByteArray:
            return ToStd(value.toByteArray());
        case QMetaType::QStringList:
            // Written by hand without quotes: "a,b" is read as a list.
            return ToStd(value.toStringList().join(QLatin1Char(',')).toUtf8());
        default:
            return ToStd(value.toString().toUtf8());
        }
    }

    bool WriteText(const std::string& section, const std::string& key, const std::string& value) override
    {
        // QSettings would rewrite such a file without the lines it could not
        // read, and only then report the error.
        if (settings_.status() == QSettings::FormatError) {
            error_ = "the file is not in INI format; it is left as it is";
            return false;
        }
        if (IsValidUtf8(value))
            settings_.setValue(KeyPath(section, key),
                               QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        else
            settings_.setValue(KeyPath(section, key),
                               QByteArray(value.data(), static_cast<qsizetype>(value.size())));
        settings_.sync();
        switch (settings_.status()) {
        case QSettings::NoError:
            return true;
        case QSettings::AccessError:
            error_ = "the file cannot be written";
            return false;
        case QSettings::FormatError:
            error_ = "the file is not in INI format";
            return false;
        }
        error_ = "the file cannot be written";
        return false;
    }

    std::string Error() const override { return error_; }
    std::string Path() const override { return path_; }

private:
    static QString KeyPath(const std::string& section, const std::string& key)
    {
        const QString k = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        if (section.empty())
            return k;
        return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + QLatin1Char('/') + k;
    }

    std::string path_;
    QSettings settings_;
    std::string error_;
};

}  // namespace

std::unique_ptr<IIniFile> OpenIniFile(const std::string& path)
{
    return std::make_unique<QtIniFile>(path);
}

}  // namespace platform
