#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "display/pictures.h"
#include "picture_files.h"
#include "support/test_support.h"
#include "support/cpu_time.h"

using namespace picture_files;

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kMagenta = qRgb(255, 0, 255);

class Pictures : public ::testing::Test {
protected:
    TempDir dir{"kest_pictures_"};
    std::string path(const std::string& name) const { return dir.path + name; }

    static QImage load(const std::string& file, QRgb key = kMagenta, int kind = kImgDib)
    {
        QImage out(3, 3, QImage::Format_RGB32);  // a loader that fails leaves it null
        img_load_file(file, out, img_colour(key), kind);
        return out;
    }

    static QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

    static bool near(QRgb a, QRgb b, int tolerance)
    {
        return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
               std::abs(qBlue(a) - qBlue(b)) <= tolerance;
    }

    // Every pixel of the image is the colour.
    static bool all_of(const QImage& image, QRgb colour)
    {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (at(image, x, y) != (colour | 0xFF000000u))
                    return false;
        return true;
    }
};

// ---- Choosing the decoder ----

TEST_F(Pictures, TheExtensionAloneChoosesTheDecoderCaseIgnored)
{
    ASSERT_TRUE(write_png(path("dot.png"), png_solid(2, 2, kRed, false)));
    const std::vector<unsigned char> png = read_bytes(path("dot.png"));
    struct Case {
        const char* name;
        bool picture_name;
        bool loads;  // the file holds a PNG
    };
    const Case cases[] = {
        {"a.png", true, true},   {"b.PNG", true, true},   {"c.Png", true, true},
        {"d.gif", true, false},  {"e.jpg", true, false},  {"f.jpe", false, false},
        {"g.tif", false, false}, {"h.png.txt", false, false}, {"png", false, false},
        {".png", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(path(c.name), png);
        EXPECT_EQ(img_is_picture_file(c.name), c.picture_name);
        const QImage image = load(path(c.name));
        EXPECT_EQ(!image.isNull(), c.loads);
        if (c.loads) {
            EXPECT_EQ(at(image, 1, 1), kRed);
        }
    }
    for (const char* name : {"x.JPEG", "x.Gif", "x.bmp", "x.jpeg"})
        EXPECT_TRUE(img_is_picture_file(name)) << name;
    EXPECT_FALSE(img_is_picture_file(""));
}

// ---- PNG ----

TEST_F(Pictures, PngPixelsOverTheirBackground)
{
    auto with_bkgd = [](PngSpec s, int r, int g, int b) {
        s.has_bkgd = true;
        s.bkgd.red = static_cast<png_uint_16>(r);
        s.bkgd.green = static_cast<png_uint_16>(g);
        s.bkgd.blue = static_cast<png_uint_16>(b);
        s.bkgd.gray = static_cast<png_uint_16>(r);
        return s;
    };
    PngSpec sixteen;
    sixteen.colour_type = PNG_COLOR_TYPE_RGB;
    sixteen.bit_depth = 16;
    sixteen.rows = {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF}};
    PngSpec grey2;
    grey2.colour_type = PNG_COLOR_TYPE_GRAY;
    grey2.bit_depth = 2;
    grey2.width = 4;
    grey2.rows = {{0x1B}};  // 0, 1, 2, 3
    PngSpec grey_alpha;
    grey_alpha.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    grey_alpha.rows = {{200, 0}};
    PngSpec palette;
    palette.colour_type = PNG_COLOR_TYPE_PALETTE;
    palette.width = 2;
    palette.palette = {{10, 20, 30}, {40, 50, 60}};
    palette.trns = {255, 0};
    palette.rows = {{0, 1}};
    palette.has_bkgd = true;
    palette.bkgd.index = 0;
    // Interlaced: eight rows of their own colours, put back in their places.
    PngSpec interlaced;
    interlaced.width = 3;
    interlaced.height = 9;
    interlaced.interlaced = true;
    for (int y = 0; y < 9; ++y)
        interlaced.rows.push_back({static_cast<unsigned char>(y * 20), 0, 0, static_cast<unsigned char>(y * 20), 1,
                                   2, static_cast<unsigned char>(y * 20), 3, static_cast<unsigned char>(y)});
    ASSERT_TRUE(write_png(path("i.png"), interlaced));
    const QImage rows = load(path("i.png"));
    ASSERT_EQ(rows.size(), QSize(3, 9));
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(at(rows, 0, y), qRgb(y * 20, 0, 0)) << y;
        EXPECT_EQ(at(rows, 2, y), qRgb(y * 20, 3, y)) << y;
    }

    struct Case {
        const char* what;
        PngSpec spec;
        int x;
        QRgb expected;
    };
    const Case cases[] = {
        {"opaque", png_solid(1, 1, qRgb(1, 2, 3), false), 0, qRgb(1, 2, 3)},
        {"opaque alpha", png_solid(1, 1, qRgba(200, 100, 50, 255), true), 0, qRgb(200, 100, 50)},
        {"clear, no bKGD: black", png_solid(1, 1, qRgba(200, 100, 50, 0), true), 0, qRgb(0, 0, 0)},
        {"clear over bKGD", with_bkgd(png_solid(1, 1, qRgba(200, 100, 50, 0), true), 10, 20, 30), 0,
         qRgb(10, 20, 30)},
        {"half over black", png_solid(1, 1, qRgba(200, 100, 50, 128), true), 0, qRgb(100, 50, 25)},
        {"half over white", with_bkgd(png_solid(1, 1, qRgba(0, 0, 0, 128), true), 255, 255, 255), 0,
         qRgb(127, 127, 127)},
        {"16-bit keeps the high bytes", sixteen, 0, qRgb(0x12, 0xAB, 0xFF)},
        {"2-bit grey 0", grey2, 0, qRgb(0, 0, 0)},
        {"2-bit grey 2", grey2, 2, qRgb(170, 170, 170)},
        {"2-bit grey 3", grey2, 3, qRgb(255, 255, 255)},
        {"grey with clear alpha", with_bkgd(grey_alpha, 77, 77, 77), 0, qRgb(77, 77, 77)},
        {"palette entry", palette, 0, qRgb(10, 20, 30)},
        {"palette's clear entry over its bKGD index", palette, 1, qRgb(10, 20, 30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_png(path("p.png"), c.spec));
        const QImage image = load(path("p.png"));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.format(), QImage::Format_BGR888) << "24-bit pixels";
        EXPECT_EQ(image.size(), QSize(c.spec.width, c.spec.height));
        EXPECT_EQ(at(image, c.x, 0), c.expected);
        int w = 0, h = 0;
        EXPECT_EQ(img_png_size(path("p.png"), w, h), 1);
        EXPECT_EQ(QSize(w, h), QSize(c.spec.width, c.spec.height));
    }
}

// ---- JPEG ----

TEST_F(Pictures, JpegColourGreyAndCmyk)
{
    ASSERT_TRUE(write_jpeg(path("c.jpg"), 17, 9, JCS_RGB, qRgb(200, 40, 90)));
    QImage colour = load(path("c.jpg"));
    ASSERT_FALSE(colour.isNull());
    EXPECT_EQ(colour.size(), QSize(17, 9));
    EXPECT_EQ(colour.format(), QImage::Format_BGR888);
    for (QPoint p : {QPoint(0, 0), QPoint(16, 8), QPoint(8, 4)})
        EXPECT_TRUE(near(at(colour, p.x(), p.y()), qRgb(200, 40, 90), 4)) << p.x() << "," << p.y();

    ASSERT_TRUE(write_jpeg(path("g.jpeg"), 5, 3, JCS_GRAYSCALE, qRgb(90, 90, 90)));
    const QImage grey = load(path("g.jpeg"));
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.format(), QImage::Format_Indexed8) << "an 8-bit bitmap";
    ASSERT_EQ(grey.colorCount(), 256);
    for (int i : {0, 1, 127, 255})
        EXPECT_EQ(grey.color(i), qRgb(i, i, i));
    EXPECT_TRUE(near(at(grey, 4, 2), qRgb(90, 90, 90), 2));

    ASSERT_TRUE(write_jpeg(path("k.jpg"), 4, 4, JCS_CMYK, qRgb(1, 2, 3)));
    EXPECT_TRUE(load(path("k.jpg")).isNull()) << "CMYK gives no bitmap";

    int w = 0, h = 0;
    EXPECT_EQ(img_jpeg_size(path("c.jpg"), w, h), 1);
    EXPECT_EQ(QSize(w, h), QSize(17, 9));
    // The device kind: same pixels in the screen's format.
    const QImage device = load(path("g.jpeg"), kMagenta, kImgDevice);
    EXPECT_EQ(device.format(), QImage::Format_RGB32);
    EXPECT_EQ(at(device, 1, 1), at(grey, 1, 1));
}

TEST_F(Pictures, ProgressiveJpegWithEndlessScansIsRefused)
{
    struct Case {
        const char* what;
        int components, steps;
        bool loads;
    };
    const Case cases[] = {
        {"a few scans", 3, 0, true},        // 3 + 189 scans
        {"several hundred", 1, 9, true},    // 640
        {"thousands", 3, 9, false},         // 1920
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<jpeg_scan_info> scans = jpeg_many_scans(c.components, c.steps);
        ASSERT_TRUE(write_jpeg(path("p.jpg"), 16, 16, c.components == 1 ? JCS_GRAYSCALE : JCS_RGB,
                               qRgb(90, 90, 90), 90, &scans));
        const QImage image = load(path("p.jpg"));
        EXPECT_EQ(!image.isNull(), c.loads);
        if (c.loads) {
            EXPECT_TRUE(near(at(image, 8, 8), qRgb(90, 90, 90), 3));
        }
    }
}

TEST_F(Pictures, JpegWrittenAndReadBack)
{
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(kBlue);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 30; ++x)
            picture.setPixel(x, y, kRed);  // top half red: rows must not come out upside down
    for (int quality : {1, 75, 100, 0, 1000}) {
        SCOPED_TRACE(quality);
        ASSERT_TRUE(img_save_jpeg(path("s.jpg"), picture, quality));
        const QImage back = load(path("s.jpg"));
        ASSERT_EQ(back.size(), picture.size());
        if (quality >= 75) {
            EXPECT_TRUE(near(at(back, 15, 2), kRed, 40));
            EXPECT_TRUE(near(at(back, 15, 17), kBlue, 40));
        }
    }
    EXPECT_FALSE(img_save_jpeg(path("no/such/folder/s.jpg"), picture, 90));
    EXPECT_FALSE(img_save_jpeg(path("null.jpg"), QImage(), 90));
}

// ---- BMP ----

TEST_F(Pictures, BmpWrittenAndReadBackWithRowPadding)
{
    // 3 pixels wide: every row has three bytes of padding.
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, kRed);
    picture.setPixel(1, 0, kGreen);
    picture.setPixel(2, 0, kBlue);
    picture.setPixel(0, 1, kWhite);
    picture.setPixel(1, 1, qRgb(1, 2, 3));
    picture.setPixel(2, 1, qRgb(0, 0, 0));
    ASSERT_EQ(dib_save_bmp(path("b.bmp"), picture), 1);
    int w = 0, h = 0;
    EXPECT_EQ(bmp_read_size(path("b.bmp"), w, h), 1);
    EXPECT_EQ(QSize(w, h), QSize(3, 2));
    const QImage back = load(path("b.bmp"));
    ASSERT_EQ(back.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(at(back, x, y), at(picture, x, y)) << x << "," << y;
    EXPECT_EQ(dib_save_bmp(path("none/b.bmp"), picture), 0);

    // Not "BM": no size, nothing loaded.
    std::vector<unsigned char> bytes = read_bytes(path("b.bmp"));
    bytes[0] = 'X';
    write_bytes(path("x.bmp"), bytes);
    EXPECT_EQ(bmp_read_size(path("x.bmp"), w, h), 0);
    EXPECT_EQ(QSize(w, h), QSize(0, 0));
    EXPECT_TRUE(load(path("x.bmp")).isNull());
}

// ---- GIF ----

TEST_F(Pictures, GifTransparentFirstFrameShowsTheKeyColour)
{
    GifFrame all_clear = gif_solid(0, 0, 4, 3, 1);
    all_clear.transparent = 1;
    ASSERT_TRUE(write_gif(path("t.gif"), 4, 3, {kRed, kGreen}, 0, {all_clear}));
    for (QRgb key : {kMagenta, qRgb(12, 34, 56)}) {
        const QImage image = load(path("t.gif"), key);
        ASSERT_EQ(image.size(), QSize(4, 3));
        EXPECT_TRUE(all_of(image, key));
    }
    // Only the transparent index is skipped.
    GifFrame half = gif_solid(0, 0, 2, 1, 1);
    half.pixels = {0, 1};
    half.transparent = 1;
    ASSERT_TRUE(write_gif(path("h.gif"), 2, 1, {kRed, kGreen}, 0, {half}));
    const QImage image = load(path("h.gif"), kMagenta);
    EXPECT_EQ(at(image, 0, 0), kRed);
    EXPECT_EQ(at(image, 1, 0), kMagenta);
}

TEST_F(Pictures, GifZeroDelayFramesComposeIntoTheFirstShown)
{
    const std::vector<QRgb> map = {kWhite, kRed, kGreen, kBlue};
    // Three frames, each covering one column; only the third has a delay.
    std::vector<GifFrame> frames = {gif_solid(0, 0, 1, 2, 1, 0), gif_solid(1, 0, 1, 2, 2, 0),
                                    gif_solid(2, 0, 1, 2, 3, 10), gif_solid(0, 0, 3, 2, 0, 10)};
    ASSERT_TRUE(write_gif(path("a.gif"), 3, 2, map, 0, frames));
    QImage image = load(path("a.gif"));
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(at(image, 0, 1), kRed);
    EXPECT_EQ(at(image, 1, 1), kGreen);
    EXPECT_EQ(at(image, 2, 1), kBlue) << "the fourth frame, after the delay, is not shown";

    // Without graphic-control extensions: the first image alone.
    for (GifFrame& f : frames)
        f.has_control = false;
    ASSERT_TRUE(write_gif(path("b.gif"), 3, 2, map, 0, frames));
    image = load(path("b.gif"));
    EXPECT_EQ(at(image, 0, 0), kRed);
    EXPECT_EQ(at(image, 1, 0), kMagenta);
    EXPECT_EQ(at(image, 2, 0), kMagenta);

    // A frame's disposal to the background: the next frame shows the
    // global background colour where the first one was.
    GifFrame first = gif_solid(0, 0, 3, 2, 1, 0);
    first.disposal = 2;
    GifFrame second = gif_solid(2, 0, 1, 2, 3, 10);
    ASSERT_TRUE(write_gif(path("d.gif"), 3, 2, map, 2, {first, second}));
    image = load(path("d.gif"));
    EXPECT_EQ(at(image, 0, 0), kGreen) << "background index 2";
    EXPECT_EQ(at(image, 2, 0), kBlue);

    // Disposal to the previous picture: the next frame is drawn over what
    // was there before the frame.
    GifFrame keep = gif_solid(0, 0, 3, 2, 1, 0);
    keep.disposal = 1;
    GifFrame passing = gif_solid(0, 0, 2, 2, 3, 0);
    passing.disposal = 3;
    ASSERT_TRUE(write_gif(path("p.gif"), 3, 2, map, 0, {keep, passing, gif_solid(2, 1, 1, 1, 2, 10)}));
    image = load(path("p.gif"));
    EXPECT_EQ(at(image, 0, 0), kRed) << "the passing frame is gone";
    EXPECT_EQ(at(image, 1, 1), kRed);
    EXPECT_EQ(at(image, 2, 1), kGreen);
    EXPECT_EQ(at(image, 2, 0), kRed);
}

TEST_F(Pictures, GifInterlacedRowsAndLocalColours)
{
    GifFrame f;
    f.width = 2;
    f.height = 10;
    f.interlace = true;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 2; ++x)
            f.pixels.push_back(static_cast<GifPixelType>(y % 4));
    f.local_map = {kRed, kGreen, kBlue, kWhite};
    ASSERT_TRUE(write_gif(path("i.gif"), 2, 10, {qRgb(0, 0, 0), qRgb(9, 9, 9)}, 0, {f}));
    const QImage image = load(path("i.gif"));
    ASSERT_EQ(image.size(), QSize(2, 10));
    const QRgb expect[4] = {kRed, kGreen, kBlue, kWhite};
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(at(image, 1, y), expect[y % 4]) << "row " << y;
}

TEST_F(Pictures, GifFramesPastTheScreenAreClippedToIt)
{
    // Written on a large screen, then the screen shrunk under the frames.
    struct Case {
        const char* what;
        GifFrame frame;
        QPoint inside;  // a canvas pixel the frame covers
        QPoint outside; // one it doesn't
    };
    const Case cases[] = {
        {"hanging over the corner", gif_solid(3, 3, 60, 60, 1), QPoint(3, 3), QPoint(2, 2)},
        {"wider than the screen", gif_solid(0, 1, 200, 1, 1), QPoint(3, 1), QPoint(0, 0)},
        {"entirely outside", gif_solid(100, 100, 20, 20, 1), QPoint(-1, -1), QPoint(3, 3)},
        {"one pixel on the last column", gif_solid(3, 0, 1, 1, 1), QPoint(3, 0), QPoint(2, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_gif(path("o.gif"), 300, 300, {kWhite, kRed}, 0, {c.frame}));
        gif_set_screen(path("o.gif"), 4, 4);
        for (int round = 0; round < 2; ++round) {  // the same file twice
            const QImage image = load(path("o.gif"));
            ASSERT_EQ(image.size(), QSize(4, 4));
            if (c.inside.x() >= 0) {
                EXPECT_EQ(at(image, c.inside.x(), c.inside.y()), kRed);
            }
            EXPECT_EQ(at(image, c.outside.x(), c.outside.y()), kMagenta);
        }
        int w = 0, h = 0;
        EXPECT_EQ(img_gif_size(path("o.gif"), w, h), 1);
        EXPECT_EQ(QSize(w, h), QSize(4, 4)) << "the logical screen's size";
    }
    // A disposal to the background past the screen stays inside it too.
    GifFrame first = gif_solid(2, 2, 100, 100, 1, 0);
    first.disposal = 2;
    ASSERT_TRUE(write_gif(path("o2.gif"), 300, 300, {kWhite, kRed, kBlue}, 2,
                          {first, gif_solid(0, 0, 1, 1, 1, 10)}));
    gif_set_screen(path("o2.gif"), 4, 4);
    const QImage image = load(path("o2.gif"));
    ASSERT_EQ(image.size(), QSize(4, 4));
    EXPECT_EQ(at(image, 3, 3), kBlue);
    EXPECT_EQ(at(image, 1, 1), kMagenta);
}

TEST_F(Pictures, GifManyTinyFramesCostTheirOwnSizeNotTheCanvas)
{
    // A few hundred bytes per frame must not make each frame copy a
    // canvas of 3000 x 3000 pixels.
    std::vector<GifFrame> frames;
    for (int i = 0; i < 2000; ++i)
        frames.push_back(gif_solid(i % 3000, (i * 7) % 3000, 1, 1, static_cast<GifPixelType>(1 + i % 2), 0));
    GifFrame last = gif_solid(10, 10, 2, 1, 1, 10);
    last.disposal = 2;
    frames.push_back(last);
    ASSERT_TRUE(write_gif(path("many.gif"), 3000, 3000, {kWhite, kRed, kBlue}, 0, frames));
    const auto start = process_cpu_ms();
    const QImage image = load(path("many.gif"));
    EXPECT_LT(process_cpu_ms() - start, 3000);   // processor time: the work, not the load
    ASSERT_EQ(image.size(), QSize(3000, 3000));
    EXPECT_EQ(at(image, 0, 0), kRed) << "the first frame";
    EXPECT_EQ(at(image, 1, 7), kBlue) << "the second";
    EXPECT_EQ(at(image, 1999, (1999 * 7) % 3000), kBlue) << "the last tiny one";
    EXPECT_EQ(at(image, 11, 10), kRed) << "the frame shown";
    EXPECT_EQ(at(image, 5, 5), kMagenta) << "untouched canvas";
}

// ---- Files that must not load ----

TEST_F(Pictures, BrokenAndHostileFilesGiveNoBitmapAndNoSize)
{
    // Good files first, then each broken in its own way.
    auto png = [](const std::string& p) { return write_png(p, png_solid(40, 30, kRed, false)); };
    auto jpg = [](const std::string& p) { return write_jpeg(p, 40, 30, JCS_RGB, kRed); };
    auto gif = [](const std::string& p) {
        return write_gif(p, 40, 30, {kWhite, kRed}, 0, {gif_solid(0, 0, 40, 30, 1)});
    };
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        bool size_fails;  // the header alone already fails
    };
    const Case cases[] = {
        {"missing.png", [](const std::string&) {}, true},
        {"missing.gif", [](const std::string&) {}, true},
        {"empty.png", [&](const std::string& p) { write_bytes(p, {}); }, true},
        {"empty.jpg", [&](const std::string& p) { write_bytes(p, {}); }, true},
        {"empty.gif", [&](const std::string& p) { write_bytes(p, {}); }, true},
        {"empty.bmp", [&](const std::string& p) { write_bytes(p, {}); }, true},
        {"text.png", [&](const std::string& p) { spit(p, "not a picture at all"); }, true},
        {"text.jpg", [&](const std::string& p) { spit(p, "not a picture at all"); }, true},
        {"text.gif", [&](const std::string& p) { spit(p, "not a picture at all"); }, true},
        {"short.bmp", [&](const std::string& p) { spit(p, "BM1234"); }, true},
        {"cut.png", [&](const std::string& p) { png(p); truncate_to(p, read_bytes(p).size() / 2); }, false},
        {"cut.jpg", [&](const std::string& p) { jpg(p); truncate_to(p, read_bytes(p).size() / 2); }, true},
        {"scan.jpg", [&](const std::string& p) { jpg(p); ASSERT_TRUE(jpeg_cut_in_scan(p)); }, false},
        {"cut.gif", [&](const std::string& p) { gif(p); truncate_to(p, read_bytes(p).size() - 8); }, false},
        {"header.png", [&](const std::string& p) { png(p); truncate_to(p, 33); }, false},
        {"huge.png",
         [&](const std::string& p) {
             PngSpec s;
             s.width = s.height = 100000;
             s.header_only = true;
             write_png(p, s);
         },
         true},
        {"wide.png",
         [&](const std::string& p) {
             PngSpec s;
             s.width = kImgMaxSide + 1;
             s.header_only = true;
             write_png(p, s);
         },
         true},
        {"huge.jpg", [&](const std::string& p) { jpg(p); jpeg_set_size(p, 60000, 60000); }, true},
        {"zero.jpg", [&](const std::string& p) { jpg(p); jpeg_set_size(p, 40, 0); }, true},
        {"huge.gif", [&](const std::string& p) { gif(p); gif_set_screen(p, 65535, 65535); }, true},
        {"zero.gif", [&](const std::string& p) { gif(p); gif_set_screen(p, 0, 30); }, true},
        {"huge.bmp",
         [&](const std::string& p) {
             QImage small(2, 2, QImage::Format_RGB32);
             small.fill(kRed);
             dib_save_bmp(p, small);
             std::vector<unsigned char> b = read_bytes(p);
             b[18] = b[19] = b[20] = 0x7F;
             b[22] = b[23] = b[24] = 0x7F;
             write_bytes(p, b);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(path(c.name));
        const auto start = process_cpu_ms();
        EXPECT_TRUE(load(path(c.name)).isNull());
        EXPECT_TRUE(load(path(c.name), kMagenta, kImgDevice).isNull());
        EXPECT_LT(process_cpu_ms() - start, 5000);   // processor time: the work, not the load
        if (c.size_fails) {
            int w = 7, h = 7;
            EXPECT_EQ(img_read_size(path(c.name), w, h), 0);
            EXPECT_EQ(QSize(w, h), QSize(0, 0));
        }
    }
    // The good files load, so the cases above failed for their fault.
    ASSERT_TRUE(png(path("ok.png")) && jpg(path("ok.jpg")) && gif(path("ok.gif")));
    for (const char* name : {"ok.png", "ok.jpg", "ok.gif"})
        EXPECT_EQ(load(path(name)).size(), QSize(40, 30)) << name;
    // A folder or a device is no picture.
    std::filesystem::create_directory(path("folder.png"));
    EXPECT_TRUE(load(path("folder.png")).isNull());
    int w = 7, h = 7;
    EXPECT_EQ(img_read_size(path("folder.png"), w, h), 0);
}

// ---- Fitting and stretching ----

TEST(PictureFitting, FitsScalesDownAndAligns)
{
    const QRect box(10, 20, 100, 50);
    struct Case {
        const char* what;
        QSize picture;
        int flags;
        QRect expected;
        bool scaled;
    };
    const Case cases[] = {
        {"smaller: centred", QSize(20, 10), 0, QRect(50, 40, 20, 10), false},
        {"exactly the box", QSize(100, 50), 0, QRect(10, 20, 100, 50), false},
        {"one pixel wider", QSize(101, 50), 0, QRect(10, 20, 100, 49), true},
        {"twice as wide", QSize(200, 50), 0, QRect(10, 32, 100, 25), true},
        {"twice as tall", QSize(50, 100), 0, QRect(47, 20, 25, 50), true},
        {"wide then still too tall", QSize(400, 400), 0, QRect(35, 20, 50, 50), true},
        {"left", QSize(20, 10), 1, QRect(10, 40, 20, 10), false},
        {"right", QSize(20, 10), 2, QRect(90, 40, 20, 10), false},
        {"top", QSize(20, 10), 4, QRect(50, 20, 20, 10), false},
        {"bottom", QSize(20, 10), 8, QRect(50, 60, 20, 10), false},
        {"left and bottom", QSize(20, 10), 1 | 8, QRect(10, 60, 20, 10), false},
        {"one pixel", QSize(1, 1), 0, QRect(59, 44, 1, 1), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QRect out;
        EXPECT_EQ(img_fit_size(c.picture, box, out, c.flags), c.scaled);
        EXPECT_EQ(out, c.expected);
        EXPECT_TRUE(box.contains(out)) << "never outside the box";
    }
}

TEST(PictureFitting, SmoothScalingOnlyForReductions)
{
    struct Case {
        int tw, th, pw, ph;
        bool smooth;
    };
    const Case cases[] = {
        {100, 100, 100, 100, false}, {200, 200, 100, 100, false}, {99, 100, 100, 100, true},
        {10, 10, 4000, 3000, true},  {0, 0, 10, 10, false},       {4000, 3000, 1, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(img_set_stretch_mode(c.tw, c.th, c.pw, c.ph), c.smooth)
            << c.tw << "x" << c.th << " from " << c.pw << "x" << c.ph;

    // A checkerboard enlarged keeps pure black and white; reduced it blends.
    QImage board(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            board.setPixel(x, y, (x + y) % 2 ? kWhite : qRgb(0, 0, 0));
    const QImage big = img_stretch_copy(board, QRect(0, 0, 40, 40), 0);
    ASSERT_EQ(big.size(), QSize(40, 40));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const int v = qRed(big.pixel(x, y));
            ASSERT_TRUE(v == 0 || v == 255) << x << "," << y << " = " << v;
        }
    const QImage small = img_stretch_copy(board, QRect(0, 0, 4, 4), 0);
    ASSERT_EQ(small.size(), QSize(4, 4));
    const int v = qRed(small.pixel(1, 1));
    EXPECT_GT(v, 60);
    EXPECT_LT(v, 200);
}

TEST(PictureFitting, StretchCopyTargetSizes)
{
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(kRed);
    struct Case {
        QRect rect;
        int flags;
        QSize expected;
    };
    const Case cases[] = {
        {QRect(5, 5, 60, 10), 0, QSize(60, 10)},
        {QRect(5, 5, 60, 10), 1, QSize(30, 10)},
        {QRect(5, 5, 60, 10), 2, QSize(60, 20)},
        {QRect(5, 5, 60, 10), 3, QSize(30, 20)},
        {QRect(5, 5, 60, 50), 4, QSize(30, 20)},
        {QRect(5, 5, 10, 50), 4, QSize(10, 20)},
        {QRect(0, 0, 1, 1), 0, QSize(1, 1)},
    };
    for (const Case& c : cases) {
        const QImage out = img_stretch_copy(picture, c.rect, c.flags);
        EXPECT_EQ(out.size(), c.expected) << c.flags;
        EXPECT_EQ(out.pixel(0, 0) | 0xFF000000u, kRed);
    }
    EXPECT_TRUE(img_stretch_copy(picture, QRect(0, 0, 0, 10), 0).isNull());
    EXPECT_TRUE(img_stretch_copy(QImage(), QRect(0, 0, 10, 10), 0).isNull());
    EXPECT_TRUE(img_stretch_copy(picture, QRect(0, 0, 100000, 100000), 0).isNull()) << "no huge bitmap";
    const QImage part = img_copy_bitmap(picture, QRect(2, 3, 4, 5));
    EXPECT_EQ(part.size(), QSize(4, 5));
}

}  // namespace
