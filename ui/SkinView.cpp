#include "SkinView.h"

#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <array>

// The artwork lives in a static library: nothing would pull it into the program unless asked for.
// Qt declares the initialiser where it is called, so the call stays outside our namespace.
static void initResources() {
    Q_INIT_RESOURCE(art);
}

namespace zalvo {

namespace {

constexpr std::array renderingScales{1.0, 1.25, 1.5, 2.0, 3.0};

QString renderingName(qreal scale) {
    return scale == 1.0 ? QStringLiteral(":/skin.ppm") : QStringLiteral(":/skin@%1x.ppm").arg(scale);
}

// Read as the format the artwork is in. Left to guess, Qt loads every image plugin installed to ask each
// whether it claims the format, a quarter of a megabyte for formats its own code reads.
QImage readArtwork(const QString& name, const char* format) {
    QImageReader reader(name, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

SkinView::SkinView(QWidget* parent) : QWidget(parent) {
    initResources();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QIcon SkinView::appIcon() {
    initResources();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap::fromImage(readArtwork(QStringLiteral(":/icons/zalvo-%1.png").arg(size), "png")));
    }
    return icon;
}

qreal SkinView::renderingScaleFor(qreal devicePixelRatio) {
    // Ratios are computed from screen geometry and arrive as 1.4999...: a hair below a rendering is that rendering.
    constexpr qreal tolerance = 0.01;
    for (const qreal scale : renderingScales) {
        if (scale >= devicePixelRatio - tolerance) {
            return scale;
        }
    }
    return renderingScales.back();
}

QImage SkinView::rendering(qreal scale) {
    initResources();
    QImage picture = readArtwork(renderingName(scale), "ppm");
    picture.setDevicePixelRatio(scale);
    return picture;
}

// The ratio is looked at in every paint, which is where a new one first takes effect: the window moved
// to another screen, or its screen's scale changed.
void SkinView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), rendering(renderingScaleFor(devicePixelRatioF())));
}

} // namespace zalvo
