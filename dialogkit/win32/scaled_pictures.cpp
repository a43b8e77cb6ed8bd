#include "scaled_pictures.h"

#include <algorithm>
#include <vector>

#include "window_dpi.h"

namespace dialogkit {

namespace {

struct Drawn {
    int percent;
    int id;
};

HBITMAP LoadBitmapCopy(int id)
{
    return static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0,
                                             0, LR_CREATEDIBSECTION));
}

// The drawing to start from: the one for this scale, else the smallest
// larger one, else the largest.
Drawn ChooseDrawn(const ResourceModule* module, int id, int percent)
{
    std::vector<Drawn> drawings{{100, id}};
    for (std::size_t i = 0; module != nullptr && i < module->scaledBitmapCount; ++i) {
        if (module->scaledBitmaps[i].id == id)
            drawings.push_back({module->scaledBitmaps[i].percent, module->scaledBitmaps[i].scaledId});
    }
    const Drawn* best = nullptr;
    for (const Drawn& drawing : drawings) {
        if (drawing.percent == percent)
            return drawing;
        if (drawing.percent > percent && (best == nullptr || drawing.percent < best->percent))
            best = &drawing;
    }
    for (const Drawn& drawing : drawings) {
        if (best == nullptr || (best->percent < percent && drawing.percent > best->percent))
            best = &drawing;
    }
    return *best;
}

// A copy of the bitmap at width x height, smoothed.
HBITMAP Resampled(HBITMAP source, int width, int height)
{
    BITMAP size{};
    ::GetObjectW(source, sizeof size, &size);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP target = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC from = ::CreateCompatibleDC(nullptr);
    const HDC to = ::CreateCompatibleDC(nullptr);
    if (target != nullptr && from != nullptr && to != nullptr) {
        const HGDIOBJ oldFrom = ::SelectObject(from, source);
        const HGDIOBJ oldTo = ::SelectObject(to, target);
        ::SetStretchBltMode(to, HALFTONE);
        ::SetBrushOrgEx(to, 0, 0, nullptr);
        ::StretchBlt(to, 0, 0, width, height, from, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
        ::SelectObject(from, oldFrom);
        ::SelectObject(to, oldTo);
    }
    if (from != nullptr)
        ::DeleteDC(from);
    if (to != nullptr)
        ::DeleteDC(to);
    return target;
}

HBITMAP BitmapAtScale(const ResourceModule* module, int id, int percent)
{
    const Drawn drawn = ChooseDrawn(module, id, percent);
    const HBITMAP bitmap = LoadBitmapCopy(drawn.id);
    if (bitmap == nullptr || drawn.percent == percent)
        return bitmap;
    BITMAP size{};
    ::GetObjectW(bitmap, sizeof size, &size);
    const HBITMAP resampled = Resampled(bitmap, ::MulDiv(size.bmWidth, percent, drawn.percent),
                                        ::MulDiv(size.bmHeight, percent, drawn.percent));
    ::DeleteObject(bitmap);
    return resampled;
}

} // namespace

void ShowPicturesAtScale(DialogWindow& window, const DialogTemplate& tmpl)
{
    const int percent = WindowScalePercent(window.Handle());
    // Pictures have no id of their own; the controls stand in template order.
    HWND control = ::GetWindow(window.Handle(), GW_CHILD);
    for (std::size_t i = 0; i < tmpl.itemCount && control != nullptr;
         ++i, control = ::GetWindow(control, GW_HWNDNEXT)) {
        const DialogItemTemplate& item = tmpl.items[i];
        if (item.cls != ControlClass::Static || (item.style & SS_TYPEMASK) != SS_BITMAP)
            continue;
        if (const HBITMAP bitmap = BitmapAtScale(tmpl.module, item.imageId, percent))
            window.SetPicture(control, bitmap);
    }
}

} // namespace dialogkit
