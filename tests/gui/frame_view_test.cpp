// The frame picture: conversion of the frame image formats and the grey of frames
// outside the video, as the window paints them.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "gui/frame_view.h"
#include "gui_fixture.h"
#include "media/common/io_image.h"

namespace tessaly::test {
namespace {

TEST(FrameView, TwentyFourBitRowsKeepColourAndOrder)
{
    TIOImage image(3, 2, pf24Bit);
    image.SetPixelColor(0, 0, {255, 0, 0});
    image.SetPixelColor(2, 0, {0, 0, 255});
    image.SetPixelColor(1, 1, {10, 200, 30});
    QImage out = gui::FrameToImage(image);
    ASSERT_EQ(out.size(), QSize(3, 2));
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));   // top row first
    EXPECT_EQ(out.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(1, 1), qRgb(10, 200, 30));
    EXPECT_EQ(out.pixel(0, 1), qRgb(0, 0, 0));
}

TEST(FrameView, PaletteImagesThroughTheirColours)
{
    TIOImage image(4, 1, pf8Bit);
    image.SetPaletteEntry(7, {1, 2, 3});
    image.SetPixel(3, 0, 7);
    QImage out = gui::FrameToImage(image);
    EXPECT_EQ(out.pixel(3, 0), qRgb(1, 2, 3));
}

TEST(FrameView, PaintsScaledFrameAndGreyOutside)
{
    EnsureApplication();
    gui::TFrameView view;
    view.resize(240, 120);   // the smallest size the view takes
    TIOImage image(20, 10, pf24Bit);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            image.SetPixelColor(x, y, {200, 100, 50});
    view.SetFrame(image);
    view.SetZoom(0);   // fit: 240 x 120
    QImage shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(120, 60)), QColor(200, 100, 50));
    view.SetOutside(20, 10);
    shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(120, 60)), QColor(64, 64, 64));
    view.SetZoom(100);   // 20 x 10 in the middle, the rest is background
    shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(120, 60)), QColor(64, 64, 64));
    EXPECT_NE(QColor(shot.pixel(5, 5)), QColor(64, 64, 64));
    EXPECT_NE(QColor(shot.pixel(120, 50)), QColor(64, 64, 64));   // above the picture
}

} // namespace
} // namespace tessaly::test
