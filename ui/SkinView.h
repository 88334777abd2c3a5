#pragma once

#include <QImage>
#include <QWidget>

namespace zalvo {

// The window's skin, drawn from the artwork rendered for the screen scale nearest at or above the
// window's own, so that its edges stay sharp on HiDPI screens. The picture is decoded only to paint: the
// window's backing store keeps what was drawn, and the skin itself never changes, so keeping it decoded
// as well would hold a megabyte (four at 2x) for the rare repaint beneath "Quitter".
class SkinView final : public QWidget {
public:
    explicit SkinView(QWidget* parent);

    // The program's icon, at every size it is drawn in, from the same artwork.
    static QIcon appIcon();
    // The scale of the rendering that is drawn for a device pixel ratio.
    static qreal renderingScaleFor(qreal devicePixelRatio);
    // The skin as rendered at a scale renderingScaleFor() picks, at its own device pixel ratio.
    static QImage rendering(qreal scale);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zalvo
