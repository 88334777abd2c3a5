#pragma once

#include <QStringList>

class QMimeData;

namespace zalvo {

// The local files and folders, and the internet streams' URLs, that a drag or the clipboard carries, in
// their order.
class DroppedFiles final {
public:
    static QStringList paths(const QMimeData* data);
};

} // namespace zalvo
