#include "platform/win32/Win32Artwork.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <tuple>
#include <utility>

namespace talvex::platform::win32 {

namespace {

std::wstring ResourceName(const char* prefix, const std::string& picture) {
    std::wstring name;
    for (const char* p = prefix; *p; ++p) name.push_back(static_cast<wchar_t>(*p));
    for (const char c : picture) {
        name.push_back(c == '-' ? L'_' : static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 32 : c));
    }
    return name;
}

// The PNG bytes of a picture, as built into the program.
std::pair<const void*, DWORD> PngOf(const std::string& picture) {
    if (picture.empty()) return {nullptr, 0};
    HRSRC found = FindResourceW(nullptr, ResourceName("PNG_", picture).c_str(), RT_RCDATA);
    if (!found) return {nullptr, 0};
    HGLOBAL loaded = LoadResource(nullptr, found);
    return {loaded ? LockResource(loaded) : nullptr, SizeofResource(nullptr, found)};
}

template <typename T>
class Com {
  public:
    ~Com() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** operator&() { return &p; }
    T* p = nullptr;
};

IWICImagingFactory* Factory() {
    static IWICImagingFactory* factory = [] {
        IWICImagingFactory* made = nullptr;
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(&made));
        return made;
    }();
    return factory;
}

// Decodes the PNG and scales it into a new 32-bit premultiplied bitmap.
HBITMAP Decode(const void* png, DWORD size, int width, int height) {
    IWICImagingFactory* factory = Factory();
    if (!factory) return nullptr;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICBitmapScaler> scaler;
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(png)), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                                &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(frame.p, static_cast<UINT>(width), static_cast<UINT>(height),
                                  WICBitmapInterpolationModeFant)) ||
        FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(scaler.p, GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom))) {
        return nullptr;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as WIC delivers the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    const UINT stride = static_cast<UINT>(width) * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * static_cast<UINT>(height),
                                     static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

}  // namespace

void BlendPremultiplied(const std::uint32_t* picture, std::uint32_t* under, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = picture[i];
        const std::uint32_t keep = 255 - (p >> 24);
        std::uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const std::uint32_t below = (under[i] >> shift) & 0xFF;
            // below * keep / 255, rounded, without a division
            const std::uint32_t t = below * keep + 128;
            const std::uint32_t kept = (t + (t >> 8)) >> 8;
            out |= std::min<std::uint32_t>(255, ((p >> shift) & 0xFF) + kept) << shift;
        }
        under[i] = out | 0xFF000000u;
    }
}

// Blended in code rather than with AlphaBlend, which would bring in a library that
// is not one of the system's Known DLLs: what lies under the picture is copied out,
// the picture laid over it, and the result copied back.
void Bitmap::Draw(HDC dc, int x, int y) const {
    // Only 32-bit DIB sections of the bitmap's own size. GetObject reports the height
    // of a top-down DIB section as positive, so the rows' order cannot be read back:
    // they are top-down, as Decode makes them.
    DIBSECTION picture{};
    if (GetObjectW(m_bitmap, sizeof picture, &picture) != sizeof picture || !picture.dsBm.bmBits ||
        picture.dsBm.bmBitsPixel != 32 || picture.dsBm.bmWidth != m_width ||
        picture.dsBm.bmHeight != m_height) {
        return;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_width;
    info.bmiHeader.biHeight = -m_height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP under = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!under) return;
    HDC work = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(work, under);
    BitBlt(work, 0, 0, m_width, m_height, dc, x, y, SRCCOPY);
    GdiFlush();
    BlendPremultiplied(static_cast<const std::uint32_t*>(picture.dsBm.bmBits),
                       static_cast<std::uint32_t*>(bits),
                       static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
    BitBlt(dc, x, y, m_width, m_height, work, 0, 0, SRCCOPY);
    SelectObject(work, old);
    DeleteDC(work);
    DeleteObject(under);
}

SIZE ArtworkSize(const std::string& picture) {
    const auto [png, size] = PngOf(picture);
    // The PNG header holds width and height, big-endian, at bytes 16 and 20.
    if (!png || size < 24) return {0, 0};
    const auto* b = static_cast<const unsigned char*>(png);
    const auto at = [b](int i) {
        return static_cast<LONG>((b[i] << 24) | (b[i + 1] << 16) | (b[i + 2] << 8) | b[i + 3]);
    };
    return {at(16) / 2, at(20) / 2};
}

std::shared_ptr<const Bitmap> ArtworkBitmap(const std::string& picture, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    static std::map<std::tuple<std::string, int, int>, std::shared_ptr<const Bitmap>> cache;
    const auto key = std::make_tuple(picture, width, height);
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const auto [png, size] = PngOf(picture);
    if (!png) return nullptr;
    HBITMAP decoded = Decode(png, size, width, height);
    if (!decoded) return nullptr;
    if (cache.size() > 64) cache.clear();  // sizes of an earlier dpi, mostly
    auto bitmap = std::make_shared<const Bitmap>(decoded, width, height);
    cache[key] = bitmap;
    return bitmap;
}

HICON ArtworkIcon(const std::string& picture, int side) {
    if (picture.empty()) return nullptr;
    if (auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                  ResourceName("ICO_", picture).c_str(), IMAGE_ICON,
                                                  side, side, 0))) {
        return icon;
    }
    // No icon of its own: one made from the picture.
    const auto bitmap = ArtworkBitmap(picture, side, side);
    if (!bitmap) return nullptr;
    HBITMAP mask = CreateBitmap(side, side, 1, 1, nullptr);
    ICONINFO info{TRUE, 0, 0, mask, bitmap->Handle()};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    return icon;
}

}  // namespace talvex::platform::win32
