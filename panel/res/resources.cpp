#include "panel_resources.h"

#include <iterator>

#include "resource.h"
#include "resources.h"

// Everything comes from the program's resource script, korvanthine.rc.

CString LoadResString(int id)
{
    return dialogkit::LoadStringResource(id);
}

HICON LoadResIcon(int id)
{
    return dialogkit::LoadIconResource(id);
}

HBITMAP LoadResBitmap(int id)
{
    return dialogkit::LoadBitmapResource(id);
}

namespace {

const dialogkit::ScaledBitmap kScaledPictures[] = {
    {IDB_PANEL_PICTURE, 125, IDB_PANEL_PICTURE_125},
    {IDB_PANEL_PICTURE, 150, IDB_PANEL_PICTURE_150},
    {IDB_PANEL_PICTURE, 200, IDB_PANEL_PICTURE_200},
};

} // namespace

const dialogkit::ResourceModule kPanelResources = {&LoadResBitmap, &LoadResIcon, &LoadResString, kScaledPictures,
                                                   std::size(kScaledPictures)};
