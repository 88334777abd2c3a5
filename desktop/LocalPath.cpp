#include "LocalPath.h"

#include "base/TextEncoding.h"
#include "formats/EntryPath.h"

#include <QDir>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>

namespace zalvo {

namespace {

std::optional<std::filesystem::path> nativePath(const QString& path) {
    const std::optional<std::string> bytes = TextEncoding::toUtf8(path.toStdU16String());
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    return std::filesystem::path(*bytes);
}

// What the name leads to, links followed; not found for a name the system cannot take.
std::filesystem::file_status statusOf(const QString& path) {
    const std::optional<std::filesystem::path> native = nativePath(path);
    std::error_code error;
    return native ? std::filesystem::status(*native, error) : std::filesystem::file_status{};
}

} // namespace

QString LocalPath::fromNative(const char* bytes) {
    return QString::fromStdU16String(TextEncoding::fromFileSystem(bytes));
}

QString LocalPath::fromUrl(const QUrl& url) {
    if (!url.isLocalFile()) {
        return {};
    }
    // Another host's share, written as Qt writes it.
    if (!url.host().isEmpty()) {
        return url.toLocalFile();
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return QString::fromStdU16String(TextEncoding::fromFileSystem(bytes.toStdString()));
}

QUrl LocalPath::toUrl(const QString& path) {
    if (isUtf8(path)) {
        return QUrl::fromLocalFile(path);
    }
    const std::string bytes = TextEncoding::toUtf8(path.toStdU16String()).value_or(std::string());
    return QUrl::fromEncoded(QByteArray::fromStdString("file://" + EntryPath::percentEncode(bytes)));
}

bool LocalPath::isUtf8(const QString& path) {
    const std::optional<std::string> bytes = TextEncoding::toUtf8(path.toStdU16String());
    return bytes && TextEncoding::fromUtf8(*bytes);
}

QString LocalPath::absolute(const QString& path) {
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path);
}

bool LocalPath::exists(const QString& path) {
    return std::filesystem::exists(statusOf(path));
}

bool LocalPath::isFolder(const QString& path) {
    return std::filesystem::is_directory(statusOf(path));
}

bool LocalPath::isFile(const QString& path) {
    return std::filesystem::is_regular_file(statusOf(path));
}

bool LocalPath::isReadable(const QString& path) {
    const std::optional<std::filesystem::path> native = nativePath(path);
    return native && ::access(native->c_str(), R_OK) == 0;
}

QString LocalPath::readable(const QString& path) {
    return QString::fromStdU16String(TextEncoding::readable(path.toStdU16String()));
}

} // namespace zalvo
