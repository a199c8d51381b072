/* Resource identifiers, plain #defines for rc.exe, windres and C++. */
#ifndef QSM_RESOURCE_H
#define QSM_RESOURCE_H

/* Dialog templates */
#define IDD_MAIN_DIALOG 101 /* main dialog and tray window */
#define IDD_MONITOR 102     /* Monitor page */
#define IDD_INFO 103        /* Info page */
#define IDD_LOG_BOX 113     /* wait box while a log is saved */

/* Icon, bitmap, accelerators */
#define IDI_STATUSMONITOR 109
#define IDB_HEADER 112
#define IDR_ACCELERATORS 114

/* Controls */
#define IDC_TAB 1002
#define IDC_STATUS_LIST 1004
#define IDC_INK_LEVEL 1005
#define IDC_UV_LAMP 1006
#define IDC_MAT_CODE 1007
#define IDC_STATUS_FRAME 1008
#define IDC_MAT_CODE_FRAME 1009
#define IDC_INK_CAPTION 1010
#define IDC_UV_CAPTION 1011
#define IDC_FILE_LIST 1013
#define IDC_SAVE_LOG 1014
#define IDC_PRINTJOB_FRAME 1016
#define IDC_JOB_COUNT 1017
#define IDC_JOB_NAME 1018
#define IDC_LOG_TEXT 1019
#define IDC_HEADER 1027

/* Commands */
#define IDM_REFRESH 1025 /* F5; no window handles it */

#endif
