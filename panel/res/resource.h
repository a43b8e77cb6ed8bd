// Resource and control ids of the panel and the About box.
#pragma once

#include "win_types.h"

// System menu command of the About item.
constexpr UINT IDM_ABOUTBOX = 0x0010;

// Dialog templates, strings, icon, picture.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_CONTROLPANEL = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDB_PANEL_PICTURE = 130;
// The panel picture drawn at 1.25, 1.5 and 2 times its size, for screens
// at 120, 144 and 192 dots per inch.
constexpr int IDB_PANEL_PICTURE_125 = 131;
constexpr int IDB_PANEL_PICTURE_150 = 132;
constexpr int IDB_PANEL_PICTURE_200 = 133;

// Controls of the panel.
constexpr int IDC_INITIALIZE = 1001;
constexpr int IDC_VERSION = 1003;
constexpr int IDC_SAMPLE = 1004;
constexpr int IDC_SAMPLE_INDICATOR = 1005;
constexpr int IDC_SETTEMP = 1009;
constexpr int IDC_SEND = 1013;
constexpr int IDC_TEMP1 = 1014;
constexpr int IDC_TEMP2 = 1015;
constexpr int IDC_TEMP3 = 1016;
constexpr int IDC_TEMP4 = 1017;
constexpr int IDC_POWER1 = 1019;
constexpr int IDC_POWER2 = 1020;
constexpr int IDC_POWER3 = 1021;
constexpr int IDC_POWER4 = 1022;
constexpr int IDC_PORT = 1025;
constexpr int IDC_CHANNEL = 1028;
constexpr int IDC_COMMCHECK = 1033;
constexpr int IDC_OUTPUT_ENABLE = 1035;
constexpr int IDC_PROGRESS = 1038;
constexpr int IDC_STATUS = 1043;
constexpr int IDC_SENSOR1 = 1045;
constexpr int IDC_SENSOR2 = 1046;
constexpr int IDC_SENSOR3 = 1047;
constexpr int IDC_SENSOR4 = 1048;
constexpr int IDC_OVERTEMP1 = 1049;
constexpr int IDC_OVERTEMP2 = 1050;
constexpr int IDC_OVERTEMP3 = 1051;
constexpr int IDC_OVERTEMP4 = 1052;
constexpr int IDC_EXTHEAT1 = 1053;
constexpr int IDC_EXTHEAT2 = 1054;
constexpr int IDC_EXTHEAT3 = 1055;
constexpr int IDC_EXTHEAT4 = 1056;
