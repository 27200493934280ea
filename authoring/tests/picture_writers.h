// The tests' picture files are written by the libraries themselves into a string.
#pragma once

#include <gif_lib.h>
#include <png.h>

#include <string>

// A giflib writer whose bytes go to out.
inline GifFileType* GifWriterTo(std::string& out) {
    int err = 0;
    return EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* b, int n) {
            static_cast<std::string*>(g->UserData)->append(reinterpret_cast<const char*>(b), n);
            return n;
        },
        &err);
}

// Sends what libpng writes to out.
inline void PngWritesTo(png_structp png, std::string& out) {
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(d), n);
        },
        nullptr);
}
