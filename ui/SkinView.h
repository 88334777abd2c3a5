#pragma once

#include <QLabel>

namespace zalvo {

// The window's skin, drawn from the artwork rendered for the screen scale nearest at or above the
// window's own, so that its edges stay sharp on HiDPI screens.
class SkinView final : public QLabel {
public:
    explicit SkinView(QWidget* parent);

    // The program's icon, at every size it is drawn in, from the same artwork.
    static QIcon appIcon();
    // The scale of the rendering that is drawn for a device pixel ratio.
    static qreal renderingScaleFor(qreal devicePixelRatio);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void pickRenderingFor(qreal devicePixelRatio);

    qreal m_pickedFor = 0.0;
};

} // namespace zalvo
