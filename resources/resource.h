/* Resource IDs and the product name of the updater's window, shared by the
   resource script and the program. Plain #defines only: the resource compiler
   reads it. The version is in updater_version.h, which the build generates
   (cmake/Version.cmake). */
#pragma once

#define UPD_PRODUCT_NAME "Update"

/* Dialog templates and the icon */
#define IDD_ABOUTBOX 100
#define IDD_UPDATE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_WARNING 131

/* Controls without an ID of their own */
#define IDC_STATIC (-1)

/* System-menu command that opens the about box */
#define IDM_ABOUTBOX 0x0010

/* Main dialog */
#define IDC_PORT 1001
#define IDC_FILE_PATH 1002
#define IDC_OPEN 1003
#define IDC_BROWSE 1005
#define IDC_UPDATE 1007
#define IDC_CANCEL_UPDATE 1008
#define IDC_STATUS_LINE 1013
#define IDC_EXIT 1014
#define IDC_UPDATE_INFO 1015
#define IDC_APPLICATION_CAPTION 1016
#define IDC_STATUS_CAPTION 1017
#define IDC_PROGRESS_CAPTION 1018
#define IDC_FIRST_PROGRESS_BAR 1020 /* row i's bar is 1020 + i */

/* Warning dialog */
#define IDC_WARNING_YES 1040
#define IDC_WARNING_NO 1041
#define IDC_WARNING_TEXT 1042

/* About box */
#define IDC_VERSION_LINE 1044
