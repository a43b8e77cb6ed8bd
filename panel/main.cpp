// The program: one application object, constructed before main runs.
#include "control_panel_app.h"

CControlPanelApp theApp;

int main(int argc, char** argv)
{
    return AfxWinMain(argc, argv);
}
