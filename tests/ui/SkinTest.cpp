#include "ActionTable.h"
#include "CZalvoDlg.h"
#include "ScriptedZalvoDlg.h"
#include "SkinView.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace zalvo {

namespace {

constexpr int kSize = 500;
constexpr double kCentre = 250.0;
constexpr double kInnerRadius = 100.0;
constexpr double kOuterRadius = 225.0;
constexpr double kPi = std::numbers::pi;

// The ring is shaded, so "orange" is a family of colours rather than one value.
bool isRingOrange(QRgb pixel) {
    const int red = qRed(pixel);
    const int green = qGreen(pixel);
    const int blue = qBlue(pixel);
    return red >= 200 && green >= 90 && green <= 200 && blue <= 110;
}

bool isSky(QRgb pixel) {
    const int red = qRed(pixel);
    const int green = qGreen(pixel);
    const int blue = qBlue(pixel);
    return blue >= 180 && blue > red + 10 && green > red;
}

bool isNearlyWhite(QRgb pixel) {
    return qRed(pixel) >= 235 && qGreen(pixel) >= 235 && qBlue(pixel) >= 235;
}

bool insideAnyRect(int x, int y) {
    for (const ActionRect& rect : actionTable) {
        if (rect.contains(x, y)) {
            return true;
        }
    }
    return false;
}

// Distance from a point to the nearest of the twelve thin lines that divide the ring into wedges.
double distanceToDivider(double radius, double clockAngle) {
    const double wedge = kPi / 6.0;
    const double offset = std::remainder(clockAngle - wedge / 2.0, wedge);
    return radius * std::abs(std::sin(offset));
}

std::string where(int x, int y) {
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

class SkinTest : public testing::Test {
protected:
    static void SetUpTestSuite() { skin = SkinView::rendering(1.0); }

    static QRgb at(int x, int y) { return skin.pixel(x, y); }

    // Angle measured clockwise from 12 o'clock, as on the ring's clock face.
    static QRgb atPolar(double radius, double clockAngle, int& x, int& y) {
        x = static_cast<int>(std::lround(kCentre + radius * std::sin(clockAngle)));
        y = static_cast<int>(std::lround(kCentre - radius * std::cos(clockAngle)));
        return at(x, y);
    }

    static inline QImage skin;
};

TEST_F(SkinTest, IsAnOpaque500By500Picture) {
    ASSERT_FALSE(skin.isNull()) << "no embedded skin";
    EXPECT_EQ(skin.width(), kSize);
    EXPECT_EQ(skin.height(), kSize);
    EXPECT_FALSE(skin.hasAlphaChannel());
}

TEST_F(SkinTest, EveryActionRectangleHoldsAnIconAtItsCentre) {
    ASSERT_FALSE(skin.isNull());
    constexpr int halfSide = 12;
    for (const ActionRect& rect : actionTable) {
        const int centreX = (rect.left + rect.right) / 2;
        const int centreY = (rect.top + rect.bottom) / 2;
        int painted = 0;
        int total = 0;
        for (int y = centreY - halfSide; y < centreY + halfSide; ++y) {
            for (int x = centreX - halfSide; x < centreX + halfSide; ++x) {
                painted += isRingOrange(at(x, y)) ? 0 : 1;
                ++total;
            }
        }
        EXPECT_GE(painted * 4, total) << rect.name << ": only " << painted << " of " << total
                                      << " pixels around the rectangle's centre differ from the ring";
    }
}

TEST_F(SkinTest, RingOutsideTheRectanglesIsPlainOrange) {
    ASSERT_FALSE(skin.isNull());
    int checked = 0;
    int wrong = 0;
    std::string firstWrong;
    for (double radius = kInnerRadius + 8.0; radius <= kOuterRadius - 8.0; radius += 3.0) {
        for (int degree = 0; degree < 360 * 2; ++degree) {
            const double angle = degree * kPi / 360.0;
            int x = 0;
            int y = 0;
            const QRgb pixel = atPolar(radius, angle, x, y);
            // The top field and the caption bar are painted over the ring's top and bottom.
            if (insideAnyRect(x, y) || distanceToDivider(radius, angle) < 3.0 || y < 34 || y > 462) {
                continue;
            }
            ++checked;
            if (!isRingOrange(pixel)) {
                if (wrong++ == 0) {
                    firstWrong = where(x, y);
                }
            }
        }
    }
    EXPECT_GT(checked, 10000);
    EXPECT_EQ(wrong, 0) << "first stray pixel at " << firstWrong;
}

TEST_F(SkinTest, WedgesAreDividedByLinesBetweenTheIcons) {
    ASSERT_FALSE(skin.isNull());
    for (int wedge = 0; wedge < 12; ++wedge) {
        const double dividerAngle = (15.0 + 30.0 * wedge) * kPi / 180.0;
        int darkest = 255 * 3;
        for (double radius = 140.0; radius <= 160.0; radius += 1.0) {
            for (double nudge = -1.0; nudge <= 1.0; nudge += 0.5) {
                int x = 0;
                int y = 0;
                const QRgb pixel = atPolar(radius, dividerAngle + nudge / radius, x, y);
                darkest = std::min(darkest, qRed(pixel) + qGreen(pixel) + qBlue(pixel));
            }
        }
        int x = 0;
        int y = 0;
        const QRgb beside = atPolar(150.0, dividerAngle + 8.0 / 150.0, x, y);
        EXPECT_LT(darkest + 60, qRed(beside) + qGreen(beside) + qBlue(beside)) << "no line at " << 15 + 30 * wedge;
    }
}

TEST_F(SkinTest, HoleShowsTheSky) {
    ASSERT_FALSE(skin.isNull());
    EXPECT_TRUE(isSky(at(250, 250)));
    for (double radius = 0.0; radius <= kInnerRadius - 10.0; radius += 5.0) {
        for (int degree = 0; degree < 360; degree += 5) {
            int x = 0;
            int y = 0;
            EXPECT_TRUE(isSky(atPolar(radius, degree * kPi / 180.0, x, y))) << where(x, y);
        }
    }
}

TEST_F(SkinTest, FieldGaugeCaptionBarAndButtonCornerSitAroundTheRing) {
    ASSERT_FALSE(skin.isNull());
    for (int x = 30; x < 405; x += 15) {
        EXPECT_TRUE(isNearlyWhite(at(x, 12))) << "title field at " << where(x, 12);
    }
    EXPECT_TRUE(isNearlyWhite(at(425, 8)));
    const QRgb gauge = at(465, 20);
    EXPECT_GT(qRed(gauge), qGreen(gauge) + 40) << "volume gauge should be brown-orange";
    EXPECT_GT(qGreen(gauge), qBlue(gauge));

    const QRgb captionTop = at(100, 473);
    const QRgb captionBottom = at(100, 498);
    EXPECT_GT(qBlue(captionTop), qRed(captionTop) + 60) << "caption bar should be blue";
    EXPECT_GT(qRed(captionBottom), qRed(captionTop) + 60) << "caption bar should fade to pale blue";

    for (int y = 476; y < kSize; y += 4) {
        for (int x = 0; x < 75; x += 5) {
            EXPECT_TRUE(isSky(at(x, y))) << "button corner at " << where(x, y);
        }
    }
}

TEST(SkinRenderingTest, EachScaleHasAnOpaqueRenderingOfItsOwnSize) {
    for (const double scale : {1.25, 1.5, 2.0, 3.0}) {
        const QImage rendering = SkinView::rendering(scale);
        const int side = static_cast<int>(std::lround(kSize * scale));
        EXPECT_EQ(rendering.size(), QSize(side, side)) << scale;
        EXPECT_EQ(rendering.deviceIndependentSize(), QSizeF(kSize, kSize)) << scale;
        EXPECT_FALSE(rendering.hasAlphaChannel()) << scale;
    }
}

TEST(SkinRenderingTest, PicksTheNearestRenderingAtOrAboveTheRatio) {
    // A ratio a hair below a rendering's comes from rounding screen geometry: that rendering fits.
    for (const auto& [ratio, expected] : {std::pair{1.0, 1.0},
                                          {1.1, 1.25},
                                          {1.25, 1.25},
                                          {1.4999, 1.5},
                                          {1.75, 2.0},
                                          {2.0, 2.0},
                                          {2.5, 3.0},
                                          {3.0, 3.0},
                                          {4.0, 3.0}}) {
        EXPECT_EQ(SkinView::renderingScaleFor(ratio), expected) << "ratio " << ratio;
    }
}

// The window at the screen scale the test runs under (QT_SCALE_FACTOR, set by CTest).
class ScaledWindowTest : public testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
        ASSERT_EQ(window.devicePixelRatioF(), factor.isEmpty() ? 1.0 : factor.toDouble());
    }

    ScriptedZalvoDlg window;
};

TEST_F(ScaledWindowTest, EveryActionIsHitAtItsCentre) {
    for (const ActionRect& rect : actionTable) {
        const QPoint centre((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        pointAt(window, centre);
        EXPECT_EQ(window.GetHoveredAction(), rect.action) << rect.name << " at " << where(centre.x(), centre.y());
    }
}

TEST_F(ScaledWindowTest, IconComesInEverySizeADesktopAsksFor) {
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    for (const int side : {16, 22, 24, 32, 48, 64, 128}) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    }
}

// How far, in the picture's own pixels, the play triangle's upper outline takes to pass from the ring's
// orange to the dark stroke: the distance from 20 % to 80 % of the way, between interpolated pixel
// centres, averaged over every column across the edge. The icon's soft shadow lies outside those bounds.
double playEdgeWidth(const QImage& picture, double scale) {
    double total = 0.0;
    int columns = 0;
    for (int column = static_cast<int>(324 * scale); column <= static_cast<int>(352 * scale); ++column) {
        const double x = column / scale;
        const double edgeY = 372.0 + (x - 320.0) * 23.0 / 39.0;
        std::vector<double> grey;
        for (int y = static_cast<int>((edgeY - 8.0) * scale); y <= static_cast<int>((edgeY + 1.0) * scale); ++y) {
            grey.push_back(qGray(picture.pixel(column, y)));
        }
        const double bright = *std::max_element(grey.begin(), grey.end());
        const double dark = *std::min_element(grey.begin(), grey.end());
        const auto crossing = [&grey](double level) {
            for (std::size_t i = 1; i < grey.size(); ++i) {
                if (grey[i] <= level) {
                    return static_cast<double>(i) - (level - grey[i]) / (grey[i - 1] - grey[i]);
                }
            }
            return static_cast<double>(grey.size());
        };
        const double range = bright - dark;
        total += crossing(dark + 0.2 * range) - crossing(bright - 0.2 * range);
        ++columns;
    }
    return total / columns;
}

TEST_F(ScaledWindowTest, SkinIsDrawnPixelForPixelAtTheScreenScale) {
    const QImage grab = window.grab().toImage();
    const double scale = window.devicePixelRatioF();
    const int side = static_cast<int>(std::lround(kSize * scale));
    ASSERT_EQ(grab.size(), QSize(side, side));
    const QImage reference = SkinView::rendering(1.0);
    // Measured, a sharp edge stays within a twentieth of a pixel of its width at 1x; the 1x picture
    // stretched to the screen makes it 1.7 pixels wide at 1.5 and 2.3 at 2.
    EXPECT_LE(playEdgeWidth(grab, scale), playEdgeWidth(reference, 1.0) + 0.1);
    if (scale == 1.0) {
        // Away from "Quitter", the window shows the picture unchanged.
        for (int y = 0; y < 475; ++y) {
            for (int x = 0; x < kSize; ++x) {
                ASSERT_EQ(grab.pixel(x, y), reference.pixel(x, y)) << where(x, y);
            }
        }
    }
}

TEST_F(ScaledWindowTest, MovedToAScreenOfAnotherScaleTheSkinIsDrawnFromThatScalesRendering) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    const double sharpEdge = playEdgeWidth(SkinView::rendering(1.0), 1.0);
    for (QScreen* screen : {screens.at(1), screens.at(0)}) {
        window.windowHandle()->setScreen(screen);
        const QImage grab = window.grab().toImage();
        const qreal ratio = window.devicePixelRatioF();
        EXPECT_EQ(ratio, screen->devicePixelRatio());
        EXPECT_EQ(grab.width(), std::lround(kSize * ratio)) << ratio;
        // Past the largest rendering, that one is stretched: its edges widen by the stretch, no more.
        const double stretch = ratio / SkinView::renderingScaleFor(ratio);
        EXPECT_LE(playEdgeWidth(grab, ratio), sharpEdge * stretch + 0.1) << ratio;
    }
}

// Image plugins are there for covers: the window's own artwork is read by Qt's built-in readers, and
// a start that shows no cover loads none of them.
TEST_F(ScaledWindowTest, ShowingTheWindowLoadsNoImagePlugin) {
    window.grab();
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), {}};
    EXPECT_EQ(text.find("/imageformats/"), std::string::npos);
}

} // namespace

} // namespace zalvo
