#include "paint_dc.h"

#include "wnd.h"

struct CPaintDC::State {
    HWND window = nullptr;
    PAINTSTRUCT paint{};
    HDC dc = nullptr;
};

CPaintDC::CPaintDC(CWnd* wnd) : m_state(std::make_unique<State>())
{
    m_state->window = wnd->GetSafeHwnd();
    if (m_state->window != nullptr)
        m_state->dc = ::BeginPaint(m_state->window, &m_state->paint);
}

CPaintDC::~CPaintDC()
{
    if (m_state->dc != nullptr)
        ::EndPaint(m_state->window, &m_state->paint);
}

HDC CPaintDC::GetSafeHdc()
{
    return m_state->dc;
}

void CPaintDC::DrawIcon(int x, int y, const HICON& icon)
{
    if (m_state->dc != nullptr)
        ::DrawIcon(m_state->dc, x, y, icon);
}
