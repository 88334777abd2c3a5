#pragma once

#include <QString>
#include <QUrl>

namespace zalvo {

// A station's address as a listener types it, a browser drags it or another program hands it over,
// in the form the core plays: an http(s) URL, percent-encoded.
class StreamAddress final {
public:
    StreamAddress() = delete;

    // Empty for anything but one http:// or https:// URL; blanks around it are let go.
    static QString fromText(const QString& text);
    static QString fromUrl(const QUrl& url);
};

} // namespace zalvo
