#pragma once

// Resource identifiers. The numbers are fixed: language packs, other tools and the program's own
// messages refer to them.

// Dialogs
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_PROGRESS 103
#define IDD_NEWDIR 130
#define IDD_CHECK 131

// Menus
#define IDR_TREE_MENU 114
#define IDR_TRAY_MENU 129

// Icons, bitmaps, cursors
#define IDI_APP 128
#define IDI_NEWFOLDER 175
#define IDB_BACKGROUND 157
#define IDB_ABOUT 158
#define IDB_LOGO 171
// The same bitmaps drawn for 125, 150, 175 and 200 % display scale.
#define IDB_BACKGROUND_125 1157
#define IDB_BACKGROUND_150 2157
#define IDB_BACKGROUND_175 3157
#define IDB_BACKGROUND_200 4157
#define IDB_ABOUT_125 1158
#define IDB_ABOUT_150 2158
#define IDB_ABOUT_175 3158
#define IDB_ABOUT_200 4158
#define IDB_LOGO_125 1171
#define IDB_LOGO_150 2171
#define IDB_LOGO_175 3171
#define IDB_LOGO_200 4171
#define IDC_MOVE_NO 132
#define IDC_COPY_NO 133
#define IDC_COPY_OK 134

// Strings
#define IDS_ABOUTBOX 101
#define IDS_COPYING 106

// Main dialog controls
#define IDC_SOURCE_TREE 1000
#define IDC_TARGET_TREE 1001
#define IDC_SAVE 1004
#define IDC_CLEAR 1010
#define IDC_SELECTION_LIST 1014
#define IDC_PROGRESS 1015
#define IDC_COPY_PRGS 1019
#define IDC_SOURCE_PATH 1020
#define IDC_TARGET_PATH 1021
#define IDC_TARGET_FRAME 1022
#define IDC_SOURCE_FRAME 1023
#define IDC_NEW_TARGET_DIR 1026
#define IDC_NEW_SOURCE_DIR 1027
#define IDC_LIST_1037 1037
#define IDC_LIST_1038 1038
#define IDC_COPY 1041
#define IDC_SYNC 1042
#define IDC_BT1 1048
#define IDC_STATIC_1051 1051
#define IDC_STATIC_1052 1052
#define IDC_STATIC_1053 1053
#define IDC_PATH_SETTING 1066
#define IDC_BACKUP_STYLE 1067
#define IDC_SOURCE_HEADING 1069
#define IDC_DEST_HEADING 1070
#define IDC_BACKGROUND 1074
#define IDC_RELEASE_DATE 1080
#define IDC_SUMMARY 1090
#define IDC_CHECK_TEXT 1091
#define IDC_CHECK_BAR 1092

// Progress dialog controls
#define IDC_PROGRESS_BAR 1003
#define IDC_PROGRESS_PERCENT 1004
#define IDC_PROGRESS_STATUS 1005

// New-folder dialog controls
#define IDC_NEWDIR_OK 1027
#define IDC_NEWDIR_NAME 1028
#define IDC_NEWDIR_UNUSED 1029
#define IDC_NEWDIR_LABEL 1079

// About dialog controls
#define IDC_ABOUT_PRODUCT 1082
#define IDC_ABOUT_NOTICE 1083
#define IDC_ABOUT_MAKER 1084
#define IDC_ABOUT_RIGHTS 1085
#define IDC_ABOUT_LOGO 1087
#define IDC_ABOUT_BACKGROUND 1088

// Commands
#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_OPEN 32772
#define ID_TRAY_EXIT 32773
#define ID_TRAY_VERSIONS 32774
#define ID_TRAY_CHECK 32775
#define ID_TREE_OPEN 32782
#define ID_TREE_DELETE 32783
#define ID_TREE_RENAME 32784
#define ID_TREE_PROPERTIES 32785
