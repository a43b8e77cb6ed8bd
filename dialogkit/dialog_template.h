// Dialog templates as data: the dialog's caption, style, font and size, and
// each control with its id, class, caption, rectangle in dialog units and
// style. Template order is the order of creation and the tab order.
#pragma once

#include <cstddef>

#include "cstring.h"
#include "win_types.h"
#include "window_styles.h"

namespace dialogkit {

// A bitmap drawn again for a larger scale: bitmap id at percent (125 is
// 1.25 times its size) is the resource scaledId.
struct ScaledBitmap {
    int id;
    int percent;
    int scaledId;
};

// The resources a template's pictures and icons come from: those of the
// module the template belongs to, with the bitmaps drawn for larger scales.
struct ResourceModule {
    HBITMAP (*loadBitmap)(int id);
    HICON (*loadIcon)(int id);
    CString (*loadString)(int id);
    const ScaledBitmap* scaledBitmaps;
    std::size_t scaledBitmapCount;
};

enum class ControlClass { Button, Edit, Static, ComboBox, Progress };

struct DialogItemTemplate {
    int id;
    ControlClass cls;
    const char* caption; // text; unused for pictures and icons
    int x, y, cx, cy;     // dialog units
    DWORD style;          // WS_CHILD | WS_VISIBLE are implied
    int imageId;          // SS_BITMAP / SS_ICON resource, else 0
};

// Items a combo box receives when the dialog initialises, in this order.
struct ComboInitData {
    int id;
    const char* const* items;
    std::size_t count;
};

struct DialogTemplate {
    int id;
    const char* caption;
    DWORD style;
    DWORD exStyle;
    int pointSize;
    const char* typeface;
    int x, y, cx, cy; // dialog units
    const DialogItemTemplate* items;
    std::size_t itemCount;
    const ComboInitData* initData;
    std::size_t initDataCount;
    const ResourceModule* module;
};

} // namespace dialogkit
