/* Resource identifiers shared by drossweeper.rc and the code. */
#ifndef DROSSWEEPER_RESOURCE_H
#define DROSSWEEPER_RESOURCE_H

/* Dialog templates */
#define IDD_MAIN                103
#define IDD_RESULTS             116
#define IDD_DONATE              117
#define IDD_LINKS               120

/* Menu, icon, bitmap */
#define IDR_MAINMENU            119
#define IDI_APP                 110
#define IDB_DONATE              118

/* MainWindow (103) controls */
#define IDC_MAIN_FOLDER         1067
#define IDC_MAIN_BROWSE         1068
#define IDC_MAIN_GO             1070
#define IDC_MAIN_STOP           1069
#define IDC_MAIN_INFO_GROUP     1062
#define IDC_MAIN_FOUND_TEXT     1058
#define IDC_MAIN_FOLDER_GROUP   1061
#define IDC_MAIN_FOLDER_TEXT    1053
#define IDC_MAIN_APPNAME        1056
#define IDC_MAIN_COPYRIGHT      1057
#define IDC_MAIN_SITE           1054
#define IDC_MAIN_VISIT          1055
#define IDC_MAIN_DONATE         1071

/* ResultsWindow (116) controls; 1067 and 1070 mean other controls than in 103 */
#define IDC_RESULTS_LIST        1065
#define IDC_RESULTS_DELETE      1066
#define IDC_RESULTS_SAVE        1067
#define IDC_RESULTS_SIZE        1070

/* DonateDialog (117) controls */
#define IDC_DONATE_ADDRESS      1016
#define IDC_DONATE_BUTTON       1017

/* LinksDialog (120) controls */
#define IDC_LINK_USER_DESKTOP           1202
#define IDC_LINK_USER_STARTMENU         1203
#define IDC_LINK_USER_STARTUP           1204
#define IDC_LINK_USER_PROGRAMS          1205
#define IDC_LINK_MACHINE_DESKTOP        1207
#define IDC_LINK_MACHINE_STARTMENU      1208
#define IDC_LINK_MACHINE_STARTUP        1209
#define IDC_LINK_MACHINE_PROGRAMS       1210
#define IDC_LINK_COMMON_DESKTOP         1211
#define IDC_LINK_COMMON_STARTUP         1212
#define IDC_LINK_COMMON_STARTMENU       1213
#define IDC_LINK_COMMON_PROGRAMS        1214
#define IDC_LINK_COMMON_QUICKLAUNCH     1215
#define IDC_LINK_MACHINE_QUICKLAUNCH    1216
#define IDC_LINK_USER_QUICKLAUNCH       1218
#define IDC_LINKS_PROCESS               1010

/* Menu 119 commands */
#define IDM_EXIT                40015
#define IDM_LINKS               40016
#define IDM_OPEN_FOLDER         40017
#define IDM_DONATE              40018
#define IDM_VISIT               40019

#endif
