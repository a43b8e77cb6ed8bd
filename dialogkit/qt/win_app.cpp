#include "win_app.h"

#include <QApplication>
#include <QStyleFactory>

#include "qt_text.h"
#include "resources.h"

namespace {

CWinApp* g_app = nullptr;

} // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName)
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

BOOL CWinApp::OnCommand(UINT)
{
    return FALSE;
}

void CWinApp::OnHelp()
{
    // The program comes without a help file, so there is nothing to open.
}

BOOL CWinApp::Enable3dControlsStatic()
{
    return TRUE;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app != nullptr ? g_app->m_pMainWnd : nullptr;
}

void AfxEnableControlContainer() {}

int AfxWinMain(int argc, char** argv)
{
    QApplication application(argc, argv);
    // One look on every desktop, so that the template's rectangles hold.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return 1;
    if (app->m_pszAppName != nullptr)
        QCoreApplication::setApplicationName(QString::fromUtf8(app->m_pszAppName));
    QCoreApplication::setApplicationVersion(dialogkit::ToQString(dialogkit::FileVersionResource()));
    if (app->InitInstance())
        QApplication::exec();
    return app->ExitInstance();
}
