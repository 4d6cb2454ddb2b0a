#pragma once
// The two dialog templates and the string resources, as data; their texts
// are ids into window/texts.h. Geometry is in
// dialog units, which each view converts for its own font; the controls are
// listed in creation order, which is also the tab order.

#include <span>

#include "window/texts.h"

enum class ControlKind {
    Label,    // static text
    Icon,     // static picture of the application icon
    DropDown, // combo box with an edit field
    PushButton,
    DefPushButton, // the button Enter presses
    EditBox,       // single line, bordered
};

// Style facts of a control.
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kRightAligned = 1u << 0,
    kStartsGroup = 1u << 1,
    kTabStop = 1u << 2,
    kNoPrefix = 1u << 3, // '&' shows as itself
    kUnsorted = 1u << 4,
    kVScroll = 1u << 5,
    kAutoHScroll = 1u << 6,
    kBorder = 1u << 7,
};

inline constexpr int kNoControlId = -1;
inline constexpr int kIdOk = 1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    TextId text;
    int x, y, w, h; // dialog units; a drop-down's h includes its open list
    unsigned style; // ControlStyle bits
};

struct DialogTemplate {
    int id;
    TextId caption;
    int w, h; // client area, dialog units
    const char* fontFace;
    int pointSize;
    std::span<const ControlTemplate> controls;
};

inline constexpr int kAboutTemplateId = 100;
inline constexpr int kMainTemplateId = 102;
inline constexpr int kAppIconId = 128;

inline constexpr int kStringAboutEntry = 101;
inline constexpr int kStringSocketsFailed = 103;

extern const DialogTemplate kAboutTemplate;
extern const DialogTemplate kMainTemplate;

// The string resource with this id in the language; "" when there is none.
const char* loadString(int id, Language language);
