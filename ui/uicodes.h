// uicodes.h -- the one definition of the UI codes: the wParam of the WM_USER
// notices between pages, worker threads and the main window.
#ifndef NVR_UI_UICODES_H
#define NVR_UI_UICODES_H

enum UiCode {
    CodeWelcomeDone  = 1124,  // welcome page -> main window, sent; 1 Next, 0 Cancel
    CodeFolderDone   = 1134,  // folder page -> main window, sent; 1 accepted, 0 aborted
    CodeFinished     = 1144,  // FinishingDelay -> main window, posted
    CodeWorkerDone   = 1154,  // worker -> page -> main window, sent; 1 ok/aborted, 0 failed
    CodeQuit         = 1164,  // CompletionStep -> main window, posted
    CodeRollbackDone = 1174,  // RollbackWorker -> main window, posted
    CodeClosePage    = 1184,  // main window -> current page, sent
    CodeShowPath     = 1194,  // worker -> current page, sent; lParam = path text
    CodeAddBytes     = 1204,  // placement/worker -> current page, sent; lParam = bytes
    CodeRestored     = 1214   // main window -> itself, posted
};

#endif
