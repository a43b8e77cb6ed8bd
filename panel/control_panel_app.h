// CControlPanelApp: starts the program, runs the panel, closes the port.
#pragma once

#include "win_app.h"

class CControlPanelApp : public CWinApp {
public:
    CControlPanelApp();

    // Runs the panel modally, then closes the serial port, however the panel
    // ended. Returns FALSE: the program ends with the panel.
    BOOL InitInstance() override;
    // ID_HELP goes to OnHelp.
    BOOL OnCommand(UINT id) override;
};
