// Resource and control ids of Tessaro's windows. Plain macros, because the
// resource scripts include this file as well as the C++ code.
#pragma once

// Dialog templates.
#define IDD_TESSARO_MAIN 301
#define IDD_ABOUT 302
#define IDD_BIOS_LIST 304
#define IDD_TIMEOUT 305
#define IDD_AMI_SETTING 307
#define IDD_AWARD_SETTING 308
#define IDD_SITE_LIST 309

// Icons.
#define IDI_TESSARO 501
#define IDI_TIMEOUT 502

// Main window: skinned buttons.
#define IDC_ONECLICK_UPDATE 1001
#define IDC_STEP_UPDATE 1002
#define IDC_UPDATE_FILE 1003
#define IDC_SAVE_BIOS 1004
#define IDC_ABOUT 1014
#define IDC_CLOSE 1015
#define IDC_STOP 1018
#define IDC_SETTING 1020
#define IDC_WEBSITE 1042
// Main window: the information-file tools, shown only with "-tran".
#define IDC_ENCODE_INFO 1037
#define IDC_DECODE_INFO 1041
// Main window: labels. 1029, 1039 and 1044 carry the pieces of the BIOS
// version text.
#define IDC_CAPTION_VERSION 1026
#define IDC_CAPTION_FLASH 1027
#define IDC_CAPTION_DATE 1028
#define IDC_VERSION_1 1029
#define IDC_VERSION_2 1039
#define IDC_VERSION_3 1044
#define IDC_FLASH_TYPE 1010
#define IDC_BIOS_DATE 1009
#define IDC_STATUS 1011
#define IDC_PERCENT 1012
#define IDC_PROGRESS 1013
#define IDC_LIVE_STATUS 1016
// The list of the BIOS and site dialogs.
#define IDC_CHOICE_LIST 1017
#define IDC_TITLE 1019

// Settings dialogs.
#define IDC_SET_DEFAULT 1021
#define IDC_SET_BOOTBLOCK 1022
#define IDC_SET_PNP 1023
#define IDC_SET_DMI 1024
#define IDC_SET_CLEARCMOS 1025
#define IDC_SET_NVRAM 1032
#define IDC_SET_LOADDEFAULT 1033
#define IDC_SET_IGNORE_ID 1034
#define IDC_SET_IGNORE_PN 1036
#define IDC_SET_IGNORE_FRAME 1040

// About box.
#define IDC_ABOUT_PICTURE 1043
#define IDC_ABOUT_VERSION 1047

// Skin bitmaps (see res/skin/skin.list).
#define IDB_MAIN_BACKGROUND 4
#define IDB_MAIN_MASK 5
#define IDB_ABOUT_PICTURE 6
#define IDB_ABOUT_PICTURE_MASK 7
