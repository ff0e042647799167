// Ids of Mendwright's resources: dialogs, controls, menu, icon, banner picture.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_MENDWRIGHT_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_BANNER 136
#define IDR_TRAY_MENU 142

#define IDC_GAME_PATH 1000
#define IDC_BROWSE 1001
#define IDC_MESSAGE_LIST 1002
#define IDC_UPDATE 1003
#define IDC_RUN_GAME 1004
#define IDC_PROGRESS 1005
#define IDC_PICTURE 1006
#define IDC_GAME_PATH_FRAME 1007

#define ID_TRAY_SHOW 32774
#define ID_TRAY_ABOUT 32775
#define ID_TRAY_EXIT 32776

// The custom resource type of the banner picture.
#define RT_BANNER_JPG "JPG"

// Identity of the tray icon and the message it sends back to the dialog.
#define TRAY_ICON_ID 100
#define WM_TRAY_NOTIFY 1933

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
