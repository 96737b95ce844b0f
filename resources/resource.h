// resource.h -- numbers of the module's resources and of their controls,
// shared by the .rc files and the code. The numbers are fixed: the dialog
// templates and the code that drives them must agree, and so must the tests
// that drive the dialogs.
#ifndef NVR_RESOURCES_RESOURCE_H
#define NVR_RESOURCES_RESOURCE_H

#define IDI_NUVAR            1055   // main window and page icon

// Dialog templates.
#define IDD_FINISHING        1058   // post-restart registration: icon + one text line
#define IDD_COMPLETION       1059   // completion dialog
#define IDD_WELCOME          1060   // welcome page
#define IDD_FOLDER           1062   // install folder page
#define IDD_PROGRESS         1063   // progress page
#define IDD_REPLACE          1065   // replace-file query

// Welcome page.
#define IDC_WELCOME_TEXT     1020   // TextWelcome with the Title
#define IDC_CLOSE_OTHERS     1021   // TextCloseOthers
#define IDC_NEXT             1018   // BtnNext
#define IDC_CANCEL           1003   // BtnCancel (welcome and folder pages)

// Folder page.
#define IDC_FOLDER_EDIT      1000   // the folder, at most 259 characters
#define IDC_BROWSE           1001   // BtnBrowse
#define IDC_INSTALL          1002   // BtnInstall
#define IDC_FOLDER_INTRO     1004   // TextFolderIntro with the Title
#define IDC_SPACE_LINE       1006   // LabelSpaceNeeded and the size
#define IDC_FOLDER_GROUP     1007   // LabelInstallFolder

// Progress page.
#define IDC_INSTALLING       1023   // TextInstalling with the Title
#define IDC_STATUS           1027   // path being installed / TextSystemUpdates
#define IDC_BAR_PLACE        1029   // invisible frame: place and size of the bar
#define IDC_ABORT            1012   // BtnAbort (progress page and replace query)

// Replace-file query.
#define IDC_REPLACE_FOLDER   1014   // TextFileExists with the existing file's folder
#define IDC_EXISTING_LINE    1015   // line of the existing file
#define IDC_REPLACE_QUERY    1016   // TextReplaceQuery
#define IDC_PACKAGE_LINE     1017   // line of the package's file
#define IDC_NO_MORE_QUERY    1013   // LabelNoMoreQuery check box
#define IDC_BUTTON_YES       1010   // BtnYes (IDC_YES/IDC_NO would clash with cursor names)
#define IDC_BUTTON_NO        1011   // BtnNo

// Completion and post-restart dialogs.
#define IDC_COMPLETED        1037   // TextCompleted with the Title
#define IDC_OK               1034   // BtnOk
#define IDC_FINISHING_TEXT   1033   // TextFinishing

#endif
