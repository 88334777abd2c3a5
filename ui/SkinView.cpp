#include "SkinView.h"

#include <QIcon>

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

} // namespace

SkinView::SkinView(QWidget* parent) : QLabel(parent) {
    initResources();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    pickRenderingFor(devicePixelRatioF());
}

QIcon SkinView::appIcon() {
    initResources();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/icons/zalvo-%1.png").arg(size), QSize(size, size));
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

void SkinView::pickRenderingFor(qreal devicePixelRatio) {
    m_pickedFor = devicePixelRatio;
    const qreal scale = renderingScaleFor(devicePixelRatio);
    QPixmap rendering(renderingName(scale));
    rendering.setDevicePixelRatio(scale);
    setPixmap(rendering);
}

// Checked at every paint, which is where a new ratio first takes effect: the window moved to another
// screen, or its screen's scale changed.
void SkinView::paintEvent(QPaintEvent* event) {
    const qreal devicePixelRatio = devicePixelRatioF();
    if (devicePixelRatio != m_pickedFor) {
        pickRenderingFor(devicePixelRatio);
    }
    QLabel::paintEvent(event);
}

} // namespace zalvo
