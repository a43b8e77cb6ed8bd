// CWinApp: the one application object, its start (InitInstance) and its
// command routing (help).
#pragma once

#include "win_types.h"

class CWnd;

class CWinApp {
public:
    // The application's name; the program file's name when none is given.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returning FALSE ends the program without an event loop of its own.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // Commands that no window handled (ID_HELP); TRUE when handled.
    virtual BOOL OnCommand(UINT id);

    // The application's help. There is no help file; nothing is shown.
    void OnHelp();
    // The three-dimensional control look: what the toolkit draws anyway.
    BOOL Enable3dControlsStatic();

    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName = nullptr;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// Embedded control hosting: no template of ours uses it.
void AfxEnableControlContainer();

// The program's start: makes the toolkit's application, runs InitInstance
// (and an event loop only when it returns TRUE), then ExitInstance. Returns
// the exit status.
int AfxWinMain(int argc, char** argv);
