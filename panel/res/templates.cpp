// The dialog templates of the About box and the control panel, with the
// panel's initial list contents. Rectangles are x, y, width, height in
// dialog units.
#include <iterator>

#include "panel_resources.h"
#include "resource.h"

using dialogkit::ComboInitData;
using dialogkit::ControlClass;
using dialogkit::DialogItemTemplate;
using dialogkit::DialogTemplate;

namespace {

constexpr ControlClass kButton = ControlClass::Button;
constexpr ControlClass kEdit = ControlClass::Edit;
constexpr ControlClass kStatic = ControlClass::Static;
constexpr ControlClass kCombo = ControlClass::ComboBox;
constexpr ControlClass kProgress = ControlClass::Progress;

// The style sets of the panel's controls.
constexpr DWORD kPushButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDropList = CBS_DROPDOWNLIST | CBS_DISABLENOSCROLL | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kEditField = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kStatusField = ES_AUTOHSCROLL | ES_OEMCONVERT | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kGroupBox = BS_GROUPBOX;
constexpr DWORD kIndicator = BS_AUTORADIOBUTTON;
constexpr DWORD kPicture = SS_BITMAP | SS_CENTERIMAGE;
constexpr DWORD kProgressBar = 0;

const DialogItemTemplate kAboutItems[] = {
    {IDC_STATIC, kStatic, "", 11, 17, 21, 20, SS_ICON, IDR_MAINFRAME},
    {IDC_STATIC, kStatic, "Korvanthine Version 1.2", 40, 10, 119, 8, SS_LEFT | SS_NOPREFIX | WS_GROUP, 0},
    {IDC_STATIC, kStatic, "Copyright (C) Korvanthine authors", 40, 25, 119, 8, SS_LEFT | WS_GROUP, 0},
    {IDOK, kButton, "OK", 215, 7, 50, 14, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 0},
    {IDC_STATIC, kStatic,
     " Korvanthine control panel for\n"
     " four-channel temperature\n"
     " controllers on a serial line.\n"
     " Questions and faults: see the\n"
     " README in the source tree.\n"
     " Program version 1.0.0.1",
     29, 49, 144, 53, SS_LEFT | WS_GROUP, 0},
};

const DialogItemTemplate kPanelItems[] = {
    {IDC_INITIALIZE, kButton, "INITIALIZE ", 21, 60, 48, 14, kPushButton, 0},
    {IDC_PORT, kCombo, "", 21, 38, 58, 51, kDropList, 0},
    {IDC_STATIC, kStatic, "SELECT COMM PORT", 81, 41, 74, 8, kLabel, 0},
    {IDC_PROGRESS, kProgress, "Progress1", 73, 60, 67, 14, kProgressBar, 0},
    {IDC_STATIC, kButton, "PC COMMUNICATIONS", 13, 15, 197, 85, kGroupBox, 0},
    {IDC_STATUS, kEdit, "", 19, 76, 183, 14, kStatusField, 0},
    {IDC_COMMCHECK, kButton, "CommCheck", 151, 55, 50, 14, kPushButton, 0},
    {IDC_VERSION, kEdit, "", 166, 23, 40, 14, kEditField, 0},
    {IDC_STATIC, kStatic, "FVersion", 135, 23, 28, 8, kLabel, 0},
    {IDC_SAMPLE, kButton, "SAMPLE ON/OFF", 24, 237, 64, 14, kPushButton, 0},
    {IDC_SAMPLE_INDICATOR, kButton, "SAMPLE INDICATOR", 22, 258, 86, 10, kIndicator, 0},
    {IDC_STATIC, kButton, "DATA", 15, 116, 255, 160, kGroupBox, 0},
    {IDC_SETTEMP, kEdit, "", 425, 132, 40, 14, kEditField, 0},
    {IDC_STATIC, kStatic, "SET TEMP", 372, 135, 37, 8, kLabel, 0},
    {IDC_STATIC, kButton, "CHANNEL SETTINGS", 276, 116, 208, 77, kGroupBox, 0},
    {IDC_SEND, kButton, "SEND", 293, 171, 41, 14, kPushButton, 0},
    {IDC_TEMP1, kEdit, "", 52, 138, 40, 14, kEditField, 0},
    {IDC_STATIC, kStatic, "TEMP1", 22, 140, 25, 8, kLabel, 0},
    {IDC_TEMP2, kEdit, "", 52, 159, 40, 14, kEditField, 0},
    {IDC_STATIC, kStatic, "TEMP2", 22, 161, 26, 8, kLabel, 0},
    {IDC_TEMP3, kEdit, "", 52, 180, 40, 14, kEditField, 0},
    {IDC_TEMP4, kEdit, "", 52, 201, 40, 14, kEditField, 0},
    {IDC_STATIC, kStatic, "TEMP3", 22, 180, 26, 8, kLabel, 0},
    {IDC_STATIC, kStatic, "TEMP4", 22, 201, 26, 8, kLabel, 0},
    {IDC_POWER1, kEdit, "", 97, 138, 40, 14, kEditField, 0},
    {IDC_POWER2, kEdit, "", 97, 159, 40, 14, kEditField, 0},
    {IDC_POWER3, kEdit, "", 97, 180, 40, 14, kEditField, 0},
    {IDC_POWER4, kEdit, "", 97, 201, 40, 14, kEditField, 0},
    {IDC_STATIC, kStatic, "TEMP", 60, 127, 21, 8, kLabel, 0},
    {IDC_STATIC, kStatic, "POWER", 101, 127, 28, 8, kLabel, 0},
    {IDC_CHANNEL, kCombo, "", 288, 127, 58, 51, kDropList, 0},
    {IDC_OUTPUT_ENABLE, kCombo, "", 417, 157, 58, 51, kDropList, 0},
    {IDC_STATIC, kStatic, "OUTPUT ENABLE", 348, 159, 61, 8, kLabel, 0},
    {IDC_SENSOR1, kButton, "", 157, 142, 16, 8, kIndicator, 0},
    {IDC_SENSOR2, kButton, "", 157, 162, 16, 8, kIndicator, 0},
    {IDC_SENSOR3, kButton, "", 157, 182, 16, 8, kIndicator, 0},
    {IDC_SENSOR4, kButton, "", 157, 202, 16, 8, kIndicator, 0},
    {IDC_OVERTEMP1, kButton, "", 184, 143, 16, 8, kIndicator, 0},
    {IDC_OVERTEMP2, kButton, "", 184, 162, 16, 8, kIndicator, 0},
    {IDC_OVERTEMP3, kButton, "", 183, 182, 16, 8, kIndicator, 0},
    {IDC_OVERTEMP4, kButton, "", 183, 202, 16, 8, kIndicator, 0},
    {IDC_EXTHEAT1, kButton, "", 212, 143, 16, 8, kIndicator, 0},
    {IDC_EXTHEAT2, kButton, "", 212, 161, 16, 8, kIndicator, 0},
    {IDC_EXTHEAT3, kButton, "", 212, 183, 16, 8, kIndicator, 0},
    {IDC_EXTHEAT4, kButton, "", 212, 202, 16, 8, kIndicator, 0},
    {IDC_STATIC, kStatic, "Sensor", 147, 129, 23, 8, kLabel, 0},
    {IDC_STATIC, kStatic, "Overtemp", 174, 129, 32, 8, kLabel, 0},
    {IDC_STATIC, kStatic, "Ext. heat enable", 210, 129, 52, 8, kLabel, 0},
    {IDC_STATIC, kStatic, "", 223, 31, 210, 45, kPicture, IDB_PANEL_PICTURE},
};

const char* const kPortItems[] = {"COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",
                                  "COM8",  "COM9",  "COM10", "COM11", "COM12", "COM13", "COM14",
                                  "COM15", "COM16", "COM17", "COM18", "COM19", "COM20"};
const char* const kChannelItems[] = {"TEMP1", "TEMP2", "TEMP3", "TEMP4"};
const char* const kOutputEnableItems[] = {"DISABLE", "ENABLE"};

const ComboInitData kPanelInitData[] = {
    {IDC_PORT, kPortItems, std::size(kPortItems)},
    {IDC_CHANNEL, kChannelItems, std::size(kChannelItems)},
    {IDC_OUTPUT_ENABLE, kOutputEnableItems, std::size(kOutputEnableItems)},
};

} // namespace

const DialogTemplate kAboutBoxTemplate = {
    IDD_ABOUTBOX, "About KORVANTHINE", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 8,
    "MS Sans Serif", 0, 0, 272, 127, kAboutItems, std::size(kAboutItems), nullptr, 0, &kPanelResources,
};

const DialogTemplate kControlPanelTemplate = {
    IDD_CONTROLPANEL,
    "KORVANTHINE 1.2",
    WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VSCROLL | DS_SETFONT,
    WS_EX_APPWINDOW,
    8,
    "MS Sans Serif",
    0,
    0,
    515,
    317,
    kPanelItems,
    std::size(kPanelItems),
    kPanelInitData,
    std::size(kPanelInitData),
    &kPanelResources,
};
