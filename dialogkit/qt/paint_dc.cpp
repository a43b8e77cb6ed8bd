#include "paint_dc.h"

#include <QWidget>

#include "wnd.h"

CPaintDC::CPaintDC(CWnd* wnd)
{
    // Painting is possible only inside the window's paint event; elsewhere
    // the device stays inactive and GetSafeHdc gives none.
    QWidget* window = wnd->GetSafeHwnd();
    if (window != nullptr && window->testAttribute(Qt::WA_WState_InPaintEvent))
        m_painter.begin(window);
}

void CPaintDC::DrawIcon(int x, int y, const HICON& icon)
{
    if (m_painter.isActive())
        m_painter.drawPixmap(x, y, icon.pixmap(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
}
