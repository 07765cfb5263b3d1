#include "MainTemplate.h"

#include "resource.h"

namespace {

const char* const kPorts[] = { "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10", "COM11",
    "COM12", "COM13", "COM14", "COM15", "COM16", "COM17", "COM18", "COM19", "COM20" };

constexpr uint32_t kSpinStyle = UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS;
constexpr uint32_t kNumberEditStyle = WS_BORDER | WS_TABSTOP | ES_READONLY | ES_NUMBER;

const DialogItem kItems[] = {
    { IDC_HEXFILE, ControlKind::Edit, "", 17, 19, 142, 12, WS_BORDER | WS_TABSTOP },
    { IDC_BROWSE, ControlKind::PushButton, "...", 163, 19, 14, 12, WS_TABSTOP },
    { IDC_A0_LOW, ControlKind::AutoRadioButton, "Low", 23, 60, 27, 10, WS_GROUP },
    { IDC_A0_HIGH, ControlKind::AutoRadioButton, "High", 53, 60, 29, 10, 0 },
    { IDC_STATIC, ControlKind::GroupBox, "A0 (A1)", 17, 50, 75, 25, WS_GROUP },
    { IDC_A1_LOW, ControlKind::AutoRadioButton, "Low", 106, 60, 27, 10, WS_GROUP },
    { IDC_A1_HIGH, ControlKind::AutoRadioButton, "High", 136, 60, 29, 10, 0 },
    { IDC_STATIC, ControlKind::GroupBox, "A1 (A2)", 100, 50, 75, 25, WS_GROUP },
    { IDC_CURRENT, ControlKind::StaticText, "", 17, 173, 159, 10, SS_SUNKEN },
    { IDC_STATIC, ControlKind::StaticText, "Write address and data", 7, 161, 68, 8, 0 },
    { IDC_STATIC, ControlKind::StaticText, "Write Log", 7, 189, 28, 8, 0 },
    { IDC_WRITE, ControlKind::PushButton, "Write", 151, 132, 35, 12, WS_TABSTOP },
    { IDC_STATIC, ControlKind::StaticText, "Hex File", 7, 7, 26, 8, 0 },
    { IDC_WAIT, ControlKind::Edit, "", 17, 97, 30, 14, kNumberEditStyle },
    { IDC_WAIT_SPIN, ControlKind::UpDown, "Spin1", 32, 93, 6, 23, kSpinStyle },
    { IDC_STATIC, ControlKind::StaticText, "EEPROM address pin", 7, 38, 63, 8, 0 },
    { IDC_STATIC, ControlKind::StaticText, "Write wait", 7, 82, 30, 8, 0 },
    { IDC_STATIC, ControlKind::StaticText, "msec", 51, 100, 16, 8, 0 },
    { IDC_STATIC, ControlKind::StaticText, "Number of retries", 85, 82, 52, 8, 0 },
    { IDC_RETRY, ControlKind::Edit, "", 94, 97, 30, 14, kNumberEditStyle },
    { IDC_RETRY_SPIN, ControlKind::UpDown, "Spin2", 104, 97, 10, 21, kSpinStyle },
    { IDC_STATIC, ControlKind::StaticText, "times", 129, 100, 17, 8, 0 },
    { IDC_STATIC, ControlKind::StaticFrame, "", 7, 153, 179, 1, SS_SUNKEN },
    { IDC_STATIC, ControlKind::StaticText, "SerialPort", 7, 119, 30, 8, 0 },
    { IDC_PORT, ControlKind::DropDownList, "", 17, 132, 40, 71, WS_TABSTOP | WS_VSCROLL, kPorts },
    { IDC_LOG, ControlKind::ListBox, "", 17, 201, 159, 81, WS_BORDER | WS_VSCROLL },
    { IDC_EXIT, ControlKind::PushButton, "Exit", 136, 289, 50, 14, WS_TABSTOP },
};

} // namespace

// The font is "MS PGothic" in its Japanese name, written out so that the source stays ASCII.
const DialogTemplate MainTemplate = { IDD_MAIN, "AT24C1024(B)", 0, 0, 193, 310,
    WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, "\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", 9, kItems };
