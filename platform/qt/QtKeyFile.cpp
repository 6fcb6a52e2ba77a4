// The registry key on Linux: a typed key file, one JSON object whose members
// are the key's values:
//
//   {
//       "Buffer.InputSize": 1024,
//       "Port": "COM1",
//       "Odd": { "bytes": "2fff" }
//   }
//
// A JSON string is a text value (REG_SZ), an integer number a 32-bit integer
// value (REG_DWORD). A text that is not valid UTF-8 (the Linux code page) is
// kept as its bytes in hexadecimal under "bytes". Anything else is a value of
// a type this key does not read. Each write replaces the whole file through
// QSaveFile (a temporary file renamed over it), so a crash never leaves it
// half-written.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSaveFile>
#include <QString>

#include <cmath>
#include <cstdint>

#include "platform/SettingsFiles.h"

namespace platform {
namespace {

const QString BytesMember = QStringLiteral("bytes");

QString FromStd(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string ToStd(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string ToStd(const QString& text) { return ToStd(text.toUtf8()); }

bool IsValidUtf8(const std::string& text) { return ToStd(FromStd(text)) == text; }

bool IsHexText(const QString& text)
{
    if (text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

std::string CutAtZero(std::string text)
{
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

class QtKeyFile final : public IRegistryKey {
public:
    QtKeyFile(QString path, bool writable, QJsonObject values)
        : path_(std::move(path)), writable_(writable), values_(std::move(values))
    {}

    bool WriteText(const std::string& name, const std::string& value) override
    {
        QJsonValue stored;
        if (IsValidUtf8(value)) {
            stored = FromStd(value);
        } else {
            QJsonObject bytes;
            bytes.insert(BytesMember,
                         QString::fromLatin1(QByteArray(value.data(), static_cast<qsizetype>(value.size())).toHex()));
            stored = bytes;
        }
        return Write(name, stored);
    }

    bool WriteInt(const std::string& name, std::int32_t value) override
    {
        return Write(name, QJsonValue(static_cast<qint64>(value)));
    }

    RegistryRead ReadText(const std::string& name, std::string& value) override
    {
        const QJsonValue stored = values_.value(FromStd(name));
        if (stored.isUndefined())
            return RegistryRead::Absent;
        if (stored.isString()) {
            value = CutAtZero(ToStd(stored.toString()));
            return RegistryRead::Ok;
        }
        if (stored.isObject() && stored.toObject().size() == 1 && stored.toObject().value(BytesMember).isString()) {
            const QString hex = stored.toObject().value(BytesMember).toString();
            if (!IsHexText(hex)) {
                error_ = "the bytes of '" + name + "' are not hexadecimal";
                return RegistryRead::Failed;
            }
            value = CutAtZero(ToStd(QByteArray::fromHex(hex.toLatin1())));
            return RegistryRead::Ok;
        }
        error_ = "'" + name + "' is not a text value";
        return RegistryRead::WrongType;
    }

    RegistryRead ReadInt(const std::string& name, std::int32_t& value) override
    {
        const QJsonValue stored = values_.value(FromStd(name));
        if (stored.isUndefined())
            return RegistryRead::Absent;
        if (stored.isString() || stored.isObject()) {
            // As the registry reads: a text too long for 4 bytes (counting its
            // terminating zero) cannot be read, a shorter one has the wrong type.
            std::string text;
            if (ReadText(name, text) == RegistryRead::Ok && text.size() + 1 > 4) {
                error_ = "'" + name + "' holds " + std::to_string(text.size() + 1) + " bytes";
                return RegistryRead::Failed;
            }
            error_ = "'" + name + "' is not an integer value";
            return RegistryRead::WrongType;
        }
        if (!stored.isDouble()) {
            error_ = "'" + name + "' is not an integer value";
            return RegistryRead::WrongType;
        }
        const double number = stored.toDouble();
        if (!std::isfinite(number) || std::trunc(number) != number) {
            error_ = "'" + name + "' is not an integer value";
            return RegistryRead::WrongType;
        }
        // Signed or unsigned, as long as it fits 32 bits.
        if (number < -2147483648.0 || number > 4294967295.0) {
            error_ = "'" + name + "' does not fit 32 bits";
            return RegistryRead::Failed;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(number)));
        return RegistryRead::Ok;
    }

    std::string Error() const override { return error_; }

private:
    bool Write(const std::string& name, const QJsonValue& stored)
    {
        if (!writable_) {
            error_ = "the key file " + ToStd(path_) + " was opened for reading";
            return false;
        }
        QJsonObject next = values_;
        next.insert(FromStd(name), stored);

        const QFileInfo info(path_);
        if (!QDir().mkpath(info.absolutePath())) {
            error_ = "cannot create the folder " + ToStd(info.absolutePath());
            return false;
        }
        QSaveFile file(path_);
        if (!file.open(QIODevice::WriteOnly)) {
            error_ = ToStd(path_) + ": " + ToStd(file.errorString());
            return false;
        }
        const QByteArray data = QJsonDocument(next).toJson(QJsonDocument::Indented);
        if (file.write(data) != data.size() || !file.commit()) {
            error_ = ToStd(path_) + ": " + ToStd(file.errorString());
            return false;
        }
        values_ = std::move(next);
        return true;
    }

    QString path_;
    bool writable_;
    QJsonObject values_;
    std::string error_;
};

}  // namespace

std::unique_ptr<IRegistryKey> OpenRegistryKey(const std::string& location, RegistryAccess access, std::string& error)
{
    const QString path = FromStd(location);
    const bool writable = access == RegistryAccess::ReadWrite;
    QFile file(path);
    if (!file.exists()) {
        if (writable)
            return std::make_unique<QtKeyFile>(path, true, QJsonObject());
        error = location + ": no such key file";
        return nullptr;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = location + ": " + ToStd(file.errorString());
        return nullptr;
    }
    const QByteArray data = file.readAll();
    if (data.trimmed().isEmpty())
        return std::make_unique<QtKeyFile>(path, writable, QJsonObject());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = location + ": not a key file (" + ToStd(parseError.errorString()) + " at offset " +
                std::to_string(parseError.offset) + ")";
        return nullptr;
    }
    if (!document.isObject()) {
        error = location + ": not a key file (a JSON object is expected)";
        return nullptr;
    }
    return std::make_unique<QtKeyFile>(path, writable, document.object());
}

bool DeleteRegistryKey(const std::string& location)
{
    QFile file(FromStd(location));
    return file.remove() || !file.exists();
}

}  // namespace platform
