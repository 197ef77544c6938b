// Picture files into bitmaps: one loader that picks its decoder by the
// file name's extension (BMP, PNG through libpng, JPEG through libjpeg, GIF
// through giflib), size readers that answer a picture's width and height
// without keeping a bitmap, a JPEG and a BMP writer, and the fitting and
// stretching helpers of the picture previews and backgrounds.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <string>

// The bitmap kind asked of a loader: 0 the decoded pixels as they are
// (24-bit blue-green-red rows, or 8-bit grey with a grey colour table for
// a grey JPEG); 1 a bitmap in the screen's own format (32-bit).
enum ImgBitmapKind : int { kImgDib = 0, kImgDevice = 1 };

// Pictures larger than this on either side, or with more pixels in all,
// are refused: no window or bar needs more, and a hostile file must not
// take the memory.
constexpr int kImgMaxSide = 16384;
constexpr long long kImgMaxPixels = 25'000'000;

// 0x00BBGGRR, the colour value the loaders take as key colour.
using ImgColour = std::uint32_t;
ImgColour img_colour(QRgb rgb);

// True when the name ends (case ignored) in ".bmp", ".png", ".jpg",
// ".jpeg" or ".gif".
bool img_is_picture_file(const std::string& file);

// Loads the file by its extension alone (the contents are not sniffed);
// out is left null on any failure, and nothing is printed. The key colour
// is the canvas that a GIF's transparent pixels leave showing.
void img_load_file(const std::string& file, QImage& out, ImgColour key, int kind);
void img_load_bmp(const std::string& file, QImage& out, int kind);
void img_load_png(const std::string& file, QImage& out, int kind);
void img_load_jpeg(const std::string& file, QImage& out, int kind);
void img_load_gif(const std::string& file, QImage& out, ImgColour key, int kind);

// 1 and the picture's size, or 0 with both sizes 0.
int bmp_read_size(const std::string& file, int& width, int& height);
int img_png_size(const std::string& file, int& width, int& height);
int img_jpeg_size(const std::string& file, int& width, int& height);
int img_gif_size(const std::string& file, int& width, int& height);
// The size reader of the file's extension; 0 with both sizes 0 for any
// other name.
int img_read_size(const std::string& file, int& width, int& height);

// Writes the bitmap as a JPEG of the quality (1 to 100); true on success.
bool img_save_jpeg(const std::string& file, const QImage& bitmap, int quality);
// Writes the bitmap as a 24-bit BMP file; 1 written, 0 failed.
int dib_save_bmp(const std::string& file, const QImage& bitmap);

// Fits a picture into a box: scaled down with its aspect kept when it is
// larger (first to the box's width, then to its height), else at its own
// size; centred and clipped to the box. Alignment flags for a result
// narrower than the box: 1 left, 2 right; shorter: 4 top, 8 bottom.
// Returns whether the picture had to be scaled down.
bool img_fit_size(QSize picture, const QRect& box, QRect& out, int flags);

// A part of the bitmap, as a new bitmap of the rectangle's size.
QImage img_copy_bitmap(const QImage& bitmap, const QRect& rect);
// A 32-bit copy of the picture with the pixels of the key colour (its RGB
// part) made transparent.
QImage img_key_transparent(const QImage& bitmap, QRgb key);
// The whole bitmap stretched to the rectangle's size (flag 1: the bitmap's
// width, flag 2: its height; flag 4: neither larger than the bitmap).
QImage img_stretch_copy(const QImage& bitmap, const QRect& rect, int flags);
// Whether a picture drawn at the target size is scaled smoothly: only a
// reduction is; an enlargement keeps its pixels sharp.
bool img_set_stretch_mode(int target_width, int target_height, int picture_width, int picture_height);
// The picture scaled to the size by that rule.
QImage img_scaled(const QImage& picture, int width, int height);
