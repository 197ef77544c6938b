// Picture loading: a 4000 x 3000 JPEG and PNG and a 100-frame GIF decoded
// through the program's loader, beside the same files read by the toolkit's
// own image reader as a yardstick.
//
//   build/bench/kest_bench --benchmark_filter=Picture
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gif_lib.h>

#include "display/pictures.h"

namespace {

// The application object the other benchmarks make too (widgets need it).
void gui()
{
    static int argc = 1;
    static char name[] = "kest_bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QApplication(argc, argv);
}

std::string bench_folder()
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kest_bench_pictures";
    std::filesystem::create_directories(dir);
    return dir.string() + "/";
}

// A photograph-like picture: smooth gradients with some detail, so that the
// encoders do real work.
QImage big_picture()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb((x / 16) & 255, (y / 12) & 255, ((x ^ y) >> 3) & 255);
    }
    return image;
}

const std::string& big_file(const char* format)
{
    static std::string jpeg, png;
    std::string& file = format[0] == 'J' ? jpeg : png;
    if (file.empty()) {
        gui();
        file = bench_folder() + (format[0] == 'J' ? "big.jpg" : "big.png");
        if (!std::filesystem::exists(file))
            big_picture().save(QString::fromStdString(file), format, format[0] == 'J' ? 90 : -1);
    }
    return file;
}

// 100 frames of 320 x 240, each one full frame of its own pattern; all but
// the last without a delay, so that the loader composes all of them.
const std::string& gif_file()
{
    static std::string file;
    if (!file.empty())
        return file;
    file = bench_folder() + "frames.gif";
    if (std::filesystem::exists(file))
        return file;
    constexpr int kW = 320, kH = 240, kFrames = 100;
    int error = 0;
    GifFileType* g = EGifOpenFileName(file.c_str(), false, &error);
    if (!g)
        return file;
    EGifSetGifVersion(g, true);
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[static_cast<std::size_t>(i)] =
            GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i), static_cast<GifByteType>(i * 7)};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(g, kW, kH, 8, 0, map);
    std::vector<GifPixelType> row(kW);
    for (int f = 0; f < kFrames; ++f) {
        const int delay = f == kFrames - 1 ? 10 : 0;
        GifByteType ext[4] = {0, static_cast<GifByteType>(delay), 0, 0};
        EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        EGifPutImageDesc(g, 0, 0, kW, kH, false, nullptr);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x)
                row[static_cast<std::size_t>(x)] = static_cast<GifPixelType>((x / 8 + y / 8 + f) & 255);
            EGifPutLine(g, row.data(), kW);
        }
    }
    GifFreeMapObject(map);
    EGifCloseFile(g, &error);
    return file;
}

void load_with_loader(benchmark::State& state, const std::string& file)
{
    gui();
    for (auto _ : state) {
        QImage image;
        img_load_file(file, image, 0xFF00FF, kImgDib);
        if (image.isNull())
            state.SkipWithError("the picture did not load");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void load_with_reader(benchmark::State& state, const std::string& file, bool all_frames)
{
    gui();
    for (auto _ : state) {
        QImageReader reader(QString::fromStdString(file));
        reader.setAllocationLimit(0);
        int frames = 0;
        do {
            QImage image = reader.read();
            if (image.isNull())
                break;
            ++frames;
            benchmark::DoNotOptimize(image.constBits());
        } while (all_frames);
        if (frames == 0)
            state.SkipWithError("the picture did not load");
    }
}

void BM_PictureJpegLoader(benchmark::State& state) { load_with_loader(state, big_file("JPEG")); }
void BM_PictureJpegReader(benchmark::State& state) { load_with_reader(state, big_file("JPEG"), false); }
void BM_PicturePngLoader(benchmark::State& state) { load_with_loader(state, big_file("PNG")); }
void BM_PicturePngReader(benchmark::State& state) { load_with_reader(state, big_file("PNG"), false); }
void BM_PictureGif100Loader(benchmark::State& state) { load_with_loader(state, gif_file()); }
void BM_PictureGif100Reader(benchmark::State& state) { load_with_reader(state, gif_file(), true); }

BENCHMARK(BM_PictureJpegLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureJpegReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PicturePngLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PicturePngReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureGif100Loader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureGif100Reader)->Unit(benchmark::kMillisecond);

}  // namespace
