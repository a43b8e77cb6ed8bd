#include "panel_resources.h"

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

const dialogkit::ResourceModule kPanelResources = {&LoadResBitmap, &LoadResIcon, &LoadResString};
