#include "win_app.h"

#include "half_handles.h"

int AfxWinMain(int, char**)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return 1;
    if (app->InitInstance()) {
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return app->ExitInstance();
}
