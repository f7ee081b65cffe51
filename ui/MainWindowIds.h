/* Resource and control numbers of the main window and the About window (4000-4499). */
#pragma once

#define IDI_VELMORA 4000
#define IDR_MAIN_MENU 4001
#define IDD_MAIN 4002
#define IDD_ABOUT 4003
#define IDB_ABOUT_PICTURE 4004
#define IDC_VISIT_CURSOR 4005

/* Main window controls */
#define IDC_MAIN_TABS 4100
#define IDC_MAIN_COPYRIGHT 4101

/* Main window menu items */
#define IDM_REFRESH 4200
#define IDM_EXIT 4201
#define IDM_BACKUP 4202
#define IDM_RESTORE 4203
#define IDM_SAFE_REMOVER 4204
#define IDM_RESTORE_DISABLED_FILES 4205
#define IDM_VISIT_WEBSITE 4206
#define IDM_ABOUT 4207
/* The automatic cleanup, as F12 asks for it; sent by a panel to its top-level window. */
#define IDM_AUTOMATIC_CLEANUP 4208

/* About window controls */
#define IDC_ABOUT_IMAGE 4300
#define IDC_ABOUT_NAME 4301
#define IDC_ABOUT_FRAME 4302
#define IDC_ABOUT_VISIT 4303
