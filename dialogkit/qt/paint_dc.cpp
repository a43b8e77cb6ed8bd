#include "paint_dc.h"

#include <QPainter>
#include <QWidget>

#include "wnd.h"

struct CPaintDC::State {
    QPainter painter;
};

CPaintDC::CPaintDC(CWnd* wnd) : m_state(std::make_unique<State>())
{
    // Painting is possible only inside the window's paint event; elsewhere
    // the device stays inactive and GetSafeHdc gives none.
    QWidget* window = wnd->GetSafeHwnd();
    if (window != nullptr && window->testAttribute(Qt::WA_WState_InPaintEvent))
        m_state->painter.begin(window);
}

CPaintDC::~CPaintDC() = default;

HDC CPaintDC::GetSafeHdc()
{
    return m_state->painter.isActive() ? &m_state->painter : nullptr;
}

void CPaintDC::DrawIcon(int x, int y, const HICON& icon)
{
    if (m_state->painter.isActive())
        m_state->painter.drawPixmap(x, y, icon.pixmap(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
}
