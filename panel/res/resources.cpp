#include "panel_resources.h"

#include "resource.h"

CString LoadResString(int id)
{
    if (id == IDS_ABOUTBOX)
        return QStringLiteral("&About KORVANTHINE...");
    return CString();
}

HICON LoadResIcon(int id)
{
    if (id == IDR_MAINFRAME)
        return QIcon(QStringLiteral(":/korvanthine/korvanthine.ico"));
    return HICON();
}

QPixmap LoadResBitmap(int id)
{
    if (id == IDB_PANEL_PICTURE)
        return QPixmap(QStringLiteral(":/korvanthine/panel_picture.bmp"));
    return QPixmap();
}

const dialogkit::ResourceModule kPanelResources = {&LoadResBitmap, &LoadResIcon, &LoadResString};
