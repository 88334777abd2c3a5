#include "DroppedFiles.h"

#include "LocalPath.h"
#include "StreamAddress.h"

#include <QMimeData>
#include <QUrl>

namespace zalvo {

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
    // A link dragged from a page's text comes as the text alone.
    if (paths.isEmpty() && data->hasText()) {
        const QString stream = StreamAddress::fromText(data->text());
        if (!stream.isEmpty()) {
            paths.append(stream);
        }
    }
    return paths;
}

} // namespace zalvo
