#pragma once
// A plain 32-bit off-screen picture with direct row access.
//
// Pixels are 0xAARRGGBB words (alpha always 0xFF), the layout of QImage::Format_RGB32, so a
// window can show a Bitmap32 without converting it.

#include <algorithm>
#include <cstdint>
#include <vector>

using Pixel = std::uint32_t;

constexpr Pixel Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return 0xFF000000u | (Pixel{r} << 16) | (Pixel{g} << 8) | Pixel{b};
}

class Bitmap32 {
public:
    // A width x height picture filled with `fill`. Negative sizes count as 0.
    Bitmap32(int width, int height, Pixel fill = Rgb(0, 0, 0))
        : width_(std::max(width, 0)), height_(std::max(height, 0)),
          pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Row y (0 = top); the caller keeps 0 <= y < Height().
    Pixel* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const Pixel* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }

    const Pixel* Bits() const { return pixels_.data(); }
    Pixel* Bits() { return pixels_.data(); }

    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // Pixel access clipped to the picture: reads outside give 0, writes outside are dropped.
    Pixel At(int x, int y) const { return Contains(x, y) ? Row(y)[x] : 0; }
    void Set(int x, int y, Pixel p) {
        if (Contains(x, y)) {
            Row(y)[x] = p;
        }
    }

    void Fill(Pixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

    // Copies all of `src` with its top-left corner at (x, y), clipped to this picture.
    void CopyFrom(const Bitmap32& src, int x, int y) {
        for (int sy = 0; sy < src.Height(); ++sy) {
            const int ty = y + sy;
            if (ty < 0 || ty >= height_) {
                continue;
            }
            const int x0 = std::max(0, -x);
            const int x1 = std::min(src.Width(), width_ - x);
            if (x0 < x1) {
                std::copy(src.Row(sy) + x0, src.Row(sy) + x1, Row(ty) + x + x0);
            }
        }
    }

private:
    int width_;
    int height_;
    std::vector<Pixel> pixels_;
};
