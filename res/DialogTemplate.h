// A dialog template as data: the window and its controls, positions in dialog units, so that the
// layout reads as one table apart from the code that builds widgets from it (app/DialogBuilder.h).
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

// Control styles, each read by the builder. The prefix says which controls a flag applies to: WS_
// any, ES_ edits, SS_ statics, UDS_ up-down controls. Edits always scroll their text sideways and
// list boxes keep the template's height, so neither needs a flag.
constexpr uint32_t WS_TABSTOP = 1u << 0;
constexpr uint32_t WS_GROUP = 1u << 1; // starts a group: radio buttons from here on are a new choice
constexpr uint32_t WS_BORDER = 1u << 2;
constexpr uint32_t WS_VSCROLL = 1u << 3; // list boxes and drop-down lists
constexpr uint32_t ES_READONLY = 1u << 4;
constexpr uint32_t ES_NUMBER = 1u << 5;
constexpr uint32_t SS_SUNKEN = 1u << 6;
constexpr uint32_t UDS_AUTOBUDDY = 1u << 7; // the previous control is the buddy
constexpr uint32_t UDS_SETBUDDYINT = 1u << 8; // the buddy shows the position
constexpr uint32_t UDS_ALIGNRIGHT = 1u << 9; // sits at the buddy's right edge, the buddy narrows
constexpr uint32_t UDS_ARROWKEYS = 1u << 10; // up and down keys in the buddy step it

// Styles of the dialog window itself. It is always a window of its own with a fixed size, listed
// in the task bar.
constexpr uint32_t WS_CAPTION = 1u << 0;
constexpr uint32_t WS_SYSMENU = 1u << 1;
constexpr uint32_t WS_MINIMIZEBOX = 1u << 2;

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
