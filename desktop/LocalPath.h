#pragma once

#include <QString>
#include <QUrl>

namespace zalvo {

// Local file names between Qt and the core, byte for byte. Qt replaces the bytes of a name that are
// not UTF-8; here they stay as the core's escapes, so that such a file opens, and show readably.
class LocalPath final {
public:
    LocalPath() = delete;

    // A name as the system hands it over (a command-line argument).
    static QString fromNative(const char* bytes);
    // The path of a file URL, with the bytes it percent-encodes; empty for any other URL.
    static QString fromUrl(const QUrl& url);
    // A file URL that keeps the path's bytes.
    static QUrl toUrl(const QString& path);
    // True when the name is text that UTF-8 carries whole, as D-Bus and Qt's file classes need it.
    static bool isUtf8(const QString& path);
    // Against the working directory, as QFileInfo::absoluteFilePath does, which loses such bytes.
    static QString absolute(const QString& path);
    static bool exists(const QString& path);
    static bool isFolder(const QString& path);
    static bool isFile(const QString& path);
    static bool isReadable(const QString& path);
    static QString readable(const QString& path);
};

} // namespace zalvo
