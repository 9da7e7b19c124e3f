#pragma once
// The program's pictures, built into the program as PNG at twice their natural size
// (resources "PNG_<NAME>"), and its icons ("ICO_<NAME>", several sizes each). Names
// are the artwork names of UiTypes.h ("flag-de" is PNG_FLAG_DE).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

/// A picture decoded for one size: a 32-bit premultiplied bitmap, drawn with alpha.
class Bitmap {
  public:
    /// `bitmap`: a top-down 32-bit DIB section of width x height premultiplied pixels.
    Bitmap(HBITMAP bitmap, int width, int height)
        : m_bitmap(bitmap), m_width(width), m_height(height) {}
    ~Bitmap() { DeleteObject(m_bitmap); }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    HBITMAP Handle() const { return m_bitmap; }
    /// Draws the bitmap at (x, y), blending its transparent parts.
    void Draw(HDC dc, int x, int y) const;

  private:
    HBITMAP m_bitmap;
    int m_width;
    int m_height;
};

/// Lays `count` premultiplied BGRA pixels of a picture over those under it, in place:
/// each colour becomes the picture's plus what its transparency lets through.
void BlendPremultiplied(const std::uint32_t* picture, std::uint32_t* under, std::size_t count);

/// Natural size of a picture in pixels at 96 dpi; 0 x 0 when there is no such picture.
SIZE ArtworkSize(const std::string& picture);
/// The picture scaled to width x height pixels; null when there is none.
std::shared_ptr<const Bitmap> ArtworkBitmap(const std::string& picture, int width, int height);
/// An icon of the picture, side x side pixels; the caller destroys it. Null when none.
HICON ArtworkIcon(const std::string& picture, int side);

}  // namespace talvex::platform::win32
