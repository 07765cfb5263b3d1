// A dialog template as data: the window and its controls as a resource script describes them,
// positions in dialog units. The program builds its widgets from it (app/DialogBuilder.h).
#pragma once

#include <cstdint>
#include <span>

enum class ControlKind {
    Edit,
    PushButton,
    AutoRadioButton,
    GroupBox,
    StaticText,
    StaticFrame,
    UpDown,
    DropDownList,
    ListBox,
};

// Style flags the templates use. Own bit values; the names are those of resource scripts.
constexpr uint32_t WS_TABSTOP = 1u << 0;
constexpr uint32_t WS_GROUP = 1u << 1; // starts a group (radio buttons: a new choice)
constexpr uint32_t WS_BORDER = 1u << 2;
constexpr uint32_t WS_VSCROLL = 1u << 3;
constexpr uint32_t ES_AUTOHSCROLL = 1u << 4;
constexpr uint32_t ES_READONLY = 1u << 5;
constexpr uint32_t ES_NUMBER = 1u << 6;
constexpr uint32_t SS_SUNKEN = 1u << 7;
constexpr uint32_t UDS_AUTOBUDDY = 1u << 8; // the previous control is the buddy
constexpr uint32_t UDS_SETBUDDYINT = 1u << 9; // the buddy shows the position
constexpr uint32_t UDS_ALIGNRIGHT = 1u << 10; // sits at the buddy's right edge, the buddy narrows
constexpr uint32_t UDS_ARROWKEYS = 1u << 11; // up and down keys in the buddy step it
constexpr uint32_t LBS_NOINTEGRALHEIGHT = 1u << 12;

// Styles of the dialog window itself.
constexpr uint32_t DS_MODALFRAME = 1u << 0;
constexpr uint32_t WS_CAPTION = 1u << 1;
constexpr uint32_t WS_SYSMENU = 1u << 2;
constexpr uint32_t WS_MINIMIZEBOX = 1u << 3;
constexpr uint32_t WS_EX_APPWINDOW = 1u << 4; // shown in the task bar

struct DialogItem {
    int id;
    ControlKind kind;
    const char* caption;
    int x, y, cx, cy;
    uint32_t style;
    std::span<const char* const> items = {}; // initial list entries of a drop-down list
};

struct DialogTemplate {
    int id;
    const char* caption;
    int x, y, cx, cy; // cx, cy: the client area
    uint32_t style;
    const char* font;
    int pointSize;
    std::span<const DialogItem> items; // creation order, which is also the tab order
};
