#include "dialog.h"

#include <functional>

#include "default_processing.h"
#include "dialog_at_scale.h"
#include "dialog_template_builder.h"
#include "dialog_window.h"
#include "message_map.h"
#include "wide_text.h"
#include "win_app.h"
#include "window_placement.h"

namespace {

// What WM_INITDIALOG hands the dialog procedure: the dialog, and how to
// attach the new window to it before its initialisation runs.
struct InitParams {
    CDialog* dialog;
    std::function<void(HWND)> attach;
};

// The progress bar's class, and the version 6 look the manifest selects;
// registered before the first dialog needs them.
void EnsureCommonControls()
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    static_cast<void>(registered);
}

CDialog* DialogOf(HWND window)
{
    return reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
}

// The window whose scale change the dialog manager is carrying out: while
// it does, the dialog procedure leaves the message to it.
HWND g_rescaling = nullptr;

// A change of scale: the panel brings its content back to its layout
// position, the dialog manager lays the dialog out again at the new scale
// (its size, controls and font), then the lists, the pictures and the
// panel's own figures follow.
void ChangeScale(CDialog* dlg, HWND window, WPARAM wParam, LPARAM lParam)
{
    dlg->OnScaleChanging();
    const HWND outer = g_rescaling;
    g_rescaling = window;
    ::DefDlgProcW(window, WM_DPICHANGED, wParam, lParam);
    g_rescaling = outer;
    if (dlg->Window() == nullptr)
        return;
    // The size the platform suggests for the new scale is the dialog
    // manager's own; set here in case the dialog manager left it to us.
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    if (suggested != nullptr && !::IsZoomed(window) && !::IsIconic(window))
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    dialogkit::PrepareControlsAtScale(*dlg->Window(), dlg->Template());
    dlg->OnTemplateWindowRect(dialogkit::TemplateWindowRect(window, dlg->Template()));
}

bool ModifierKeyDown()
{
    return ::GetKeyState(VK_SHIFT) < 0 || ::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_MENU) < 0;
}

// The message map realised: each message to its handler; FALSE leaves the
// message to the dialog manager, as the base handlers ask.
INT_PTR Dispatch(CDialog* dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        // A control's notification carries its handle and waits out a
        // transfer; the dialog manager's IDOK and IDCANCEL, menu commands and
        // accelerators carry none and always arrive.
        if (lParam != 0)
            dlg->NotifyFromControl(HIWORD(wParam), static_cast<int>(LOWORD(wParam)));
        else
            dlg->OnCommand(HIWORD(wParam), static_cast<int>(LOWORD(wParam)));
        return TRUE;
    case WM_HELP:
        // F1 alone is the application's help command; with Shift, Ctrl or
        // Alt it is not.
        if (ModifierKeyDown())
            return FALSE;
        dlg->OnCommand(BN_CLICKED, static_cast<int>(ID_HELP));
        return TRUE;
    case WM_DPICHANGED:
        ChangeScale(dlg, dlg->GetSafeHwnd(), wParam, lParam);
        ::SetWindowLongPtrW(dlg->GetSafeHwnd(), DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_TIMER:
        dlg->OnTimer(wParam);
        return TRUE;
    case WM_SIZE:
        dlg->OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return !dialogkit::g_defaultProcessing;
    case WM_VSCROLL:
        if (lParam != 0)
            return FALSE; // a scroll bar control's, not the window's own
        dlg->OnVScroll(LOWORD(wParam), HIWORD(wParam), nullptr);
        return TRUE;
    case WM_SYSCOMMAND:
        dlg->OnSysCommand(static_cast<UINT>(wParam), lParam);
        return !dialogkit::g_defaultProcessing;
    case WM_PAINT:
        dlg->OnPaint();
        return !dialogkit::g_defaultProcessing;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(dlg->OnQueryDragIcon());
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* params = reinterpret_cast<InitParams*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(params->dialog));
        params->attach(window);
        CDialog* dlg = params->dialog;
        const BOOL result = dlg->OnInitDialog();
        // A screen too small for the template: the platform kept the window
        // within its bounds.
        const RECT full = dialogkit::TemplateWindowRect(window, dlg->Template());
        RECT outer{};
        ::GetWindowRect(window, &outer);
        if (!dlg->IsEnded() && (outer.right - outer.left != full.right - full.left ||
                                outer.bottom - outer.top != full.bottom - full.top))
            dlg->OnTemplateWindowRect(full);
        // Placed when first shown, as long as initialisation neither showed
        // it nor ended it.
        if (!::IsWindowVisible(window) && !dlg->IsEnded())
            dialogkit::CentreOverOwnerOrScreen(window);
        return result;
    }
    CDialog* dlg = DialogOf(window);
    if (dlg == nullptr || dlg->GetSafeHwnd() != window)
        return FALSE;
    if (message == WM_DPICHANGED && window == g_rescaling)
        return FALSE;
    const bool saved = dialogkit::g_defaultProcessing;
    dialogkit::g_defaultProcessing = false;
    const INT_PTR result = Dispatch(dlg, message, wParam, lParam);
    dialogkit::g_defaultProcessing = saved;
    return result;
}

} // namespace

CDialog::CDialog(const dialogkit::DialogTemplate& tmpl, CWnd* parent) : m_template(tmpl), m_parent(parent) {}

CDialog::~CDialog()
{
    DestroyWindow();
}

HWND CDialog::ParentWindow() const
{
    if (m_parent != nullptr)
        return m_parent->GetSafeHwnd();
    // Without a parent of its own, a dialog belongs to the main window, or
    // else to whatever window is active.
    CWnd* main = AfxGetMainWnd();
    if (main != nullptr && main != this && main->GetSafeHwnd() != nullptr)
        return main->GetSafeHwnd();
    return ::GetActiveWindow();
}

BOOL CDialog::Create()
{
    if (GetSafeHwnd() != nullptr)
        return FALSE;
    m_ended = false;
    m_result = -1;
    EnsureCommonControls();
    // Built hidden; ShowWindow shows it.
    std::vector<WORD> words = dialogkit::BuildDialogTemplate(m_template);
    // The style's high word (DLGTEMPLATEEX offset 12 + 2) holds WS_VISIBLE.
    words[7] = static_cast<WORD>(words[7] & ~(WS_VISIBLE >> 16));
    InitParams params{this, [this](HWND window) {
                          SetWindow(std::make_unique<dialogkit::DialogWindow>(window, false));
                          dialogkit::PrepareControlsAtScale(*Window(), m_template);
                      }};
    const HWND window = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                                     reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), ParentWindow(),
                                                     &DialogProc, reinterpret_cast<LPARAM>(&params));
    return window != nullptr ? TRUE : FALSE;
}

void CDialog::ShowWindow()
{
    if (GetSafeHwnd() != nullptr && !m_ended)
        ::ShowWindow(GetSafeHwnd(), SW_SHOW);
}

void CDialog::DestroyWindow()
{
    if (Window() != nullptr && !Window()->Modal())
        ::DestroyWindow(Window()->Handle());
    DestroyWindowObject();
}

INT_PTR CDialog::DoModal()
{
    if (GetSafeHwnd() != nullptr)
        return -1;
    m_ended = false;
    m_result = -1;
    EnsureCommonControls();
    // No centring style: the window is placed when it is first shown.
    const std::vector<WORD> words = dialogkit::BuildDialogTemplate(m_template);
    InitParams params{this, [this](HWND window) {
                          SetWindow(std::make_unique<dialogkit::DialogWindow>(window, true));
                          dialogkit::PrepareControlsAtScale(*Window(), m_template);
                      }};
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                                                     reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), ParentWindow(),
                                                     &DialogProc, reinterpret_cast<LPARAM>(&params));
    DestroyWindowObject();
    return result == -1 ? -1 : m_result;
}

void CDialog::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
    if (Window() == nullptr)
        return;
    if (Window()->Modal())
        ::EndDialog(Window()->Handle(), result);
    else
        ::ShowWindow(Window()->Handle(), SW_HIDE);
}

BOOL CDialog::OnInitDialog()
{
    // The combo boxes' initial lists, then every member into its control.
    bool ok = true;
    for (std::size_t i = 0; i < m_template.initDataCount; ++i) {
        const dialogkit::ComboInitData& data = m_template.initData[i];
        const HWND combo = GetDlgItem(data.id);
        if (combo == nullptr) {
            ok = false;
            continue;
        }
        for (std::size_t item = 0; item < data.count; ++item)
            ::SendMessageW(combo, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(dialogkit::ToWide(CString(data.items[item])).c_str()));
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
    if (!ok || !UpdateData(FALSE))
        EndDialog(-1);
    return TRUE;
}
