#include "DroppedFiles.h"

#include "LocalPath.h"
#include "StreamAddress.h"

#include <QMimeData>
#include <QUrl>

namespace zalvo {

namespace {

// A station's address, a file's URL or an absolute path, as one line of text: what a page's link or a
// terminal's path gives when dragged or copied as text alone.
QString fromText(const QString& text) {
    QString line = text.trimmed();
    if (line.isEmpty() || line.contains(QLatin1Char('\n'))) {
        return {};
    }
    if (line.startsWith(QLatin1Char('/'))) {
        return line;
    }
    const QUrl url(line, QUrl::StrictMode);
    return url.isLocalFile() ? LocalPath::fromUrl(url) : StreamAddress::fromText(line);
}

} // namespace

QStringList DroppedFiles::paths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        const QString path = url.isLocalFile() ? LocalPath::fromUrl(url) : StreamAddress::fromUrl(url);
        if (!path.isEmpty()) {
            paths.append(path);
        }
    }
    if (paths.isEmpty() && data->hasText()) {
        const QString path = fromText(data->text());
        if (!path.isEmpty()) {
            paths.append(path);
        }
    }
    return paths;
}

} // namespace zalvo
