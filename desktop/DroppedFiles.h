#pragma once

#include <QStringList>

class QMimeData;

namespace zalvo {

// The local files and folders that a drag carries, in the drag's order.
class DroppedFiles final {
public:
    static QStringList paths(const QMimeData* data);
};

} // namespace zalvo
