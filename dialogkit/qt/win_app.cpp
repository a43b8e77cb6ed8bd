#include "win_app.h"

#include <QApplication>
#include <QStyleFactory>

#include "qt_text.h"
#include "resources.h"

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
