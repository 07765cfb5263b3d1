// Resource and control identifiers of the dialog program.
#pragma once

constexpr int IDD_MAIN = 102;
constexpr int IDI_MAIN = 128;

constexpr int IDC_STATIC = -1; // controls the program never addresses
constexpr int IDC_HEXFILE = 1000;
constexpr int IDC_BROWSE = 1001;
constexpr int IDC_A0_HIGH = 1003;
constexpr int IDC_A0_LOW = 1004;
constexpr int IDC_A1_LOW = 1005;
constexpr int IDC_A1_HIGH = 1006;
constexpr int IDC_WRITE = 1007;
constexpr int IDC_WAIT = 1008;
constexpr int IDC_WAIT_SPIN = 1010;
constexpr int IDC_RETRY = 1011;
constexpr int IDC_RETRY_SPIN = 1012;
constexpr int IDC_PORT = 1013;
constexpr int IDC_CURRENT = 1014;
constexpr int IDC_LOG = 1015;
constexpr int IDC_EXIT = 1016;
