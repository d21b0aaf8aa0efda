#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>

#include <cstdlib>

#include <gtest/gtest.h>

namespace orvik::testing {

// The one application object widget tests need, made on first use. It is
// never destroyed: at exit Qt's own statics may already be gone.
inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "chart_widget_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// A test fixture whose application exists before any widget member is built.
class WidgetTest : public ::testing::Test {
  protected:
    WidgetTest() { TestApplication(); }
};

// Whether two colours differ by at most `tolerance` in every channel.
inline bool Near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels of exactly `colour` inside a rectangle of the image.
inline int CountColour(const QImage& image, const QRect& rect, QRgb colour) {
    int count = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) {
                ++count;
            }
        }
    }
    return count;
}

}  // namespace orvik::testing
