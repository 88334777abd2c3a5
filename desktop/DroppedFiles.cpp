#include "DroppedFiles.h"

#include "LocalPath.h"

#include <QMimeData>
#include <QUrl>

namespace zalvo {

QStringList DroppedFiles::paths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        const QString path = LocalPath::fromUrl(url);
        if (!path.isEmpty()) {
            paths.append(path);
        }
    }
    return paths;
}

} // namespace zalvo
