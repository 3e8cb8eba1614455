// Resource ids of the program: the launcher dialog, its controls, the icon and the picture.
// Included by the resource script and by the launcher code.
#pragma once

#define IDD_LAUNCHER 102
#define IDI_PROGRAM 128
#define IDB_LAUNCHER_PICTURE 131

#define IDC_MODE_640_FULLSCREEN 1000
#define IDC_MODE_WINDOW 1001
#define IDC_MODE_800_FULLSCREEN 1002
#define IDC_MODE_1024_FULLSCREEN 1003
#define IDC_NO_SOUND 1004
#define IDC_LOOP_DEMO 1005
