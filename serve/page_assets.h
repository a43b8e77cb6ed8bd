// The bench page's files, built into the program (see cmake/embed_files.cmake):
// the page itself and the chart library from its Debian package.
#pragma once

#include <cstddef>

struct PageAsset {
    const char* path;        // as requested, e.g. "/" or "/dygraph.min.js"
    const char* contentType;
    const unsigned char* data;
    std::size_t size;
};

extern const PageAsset kPageAssets[];
extern const std::size_t kPageAssetCount;
