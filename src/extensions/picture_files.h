// The image cache of /drawpic: at most 50 pictures by their resolved path
// (case ignored), in the order they were added, each with a use count.
#pragma once

#include <QImage>

#include <cstddef>
#include <string>
#include <vector>

constexpr std::size_t kPictureCacheSize = 50;

// The cached picture of the file (its use count raised), or a null image.
QImage picture_cache_find(const std::string& file);
// Adds the picture unless the file is cached; a full cache first drops its
// least-used entry (the earliest of equal counts).
void picture_cache_add(const std::string& file, const QImage& bitmap);
// Drops the file's entry.
void picture_cache_forget(const std::string& file);
// Empties the cache.
void picture_cache_free_all();
// The cached files, oldest first.
std::vector<std::string> picture_cache_files();
