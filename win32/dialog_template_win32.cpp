#include "win32/dialog_template_win32.h"

namespace {

// Predefined window classes, by ordinal.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

WORD controlClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
    case ControlKind::Icon: return kStaticClass;
    case ControlKind::DropDown: return kComboBoxClass;
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: return kButtonClass;
    case ControlKind::EditBox: return kEditClass;
    }
    return kStaticClass;
}

} // namespace

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), n);
    return text;
}

std::string narrow(const std::wstring& utf16) {
    if (utf16.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string text(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), text.data(), n, nullptr, nullptr);
    return text;
}

DWORD controlStyle(const ControlTemplate& c) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (c.style & kTabStop) style |= WS_TABSTOP;
    if (c.style & kStartsGroup) style |= WS_GROUP;
    if (c.style & kVScroll) style |= WS_VSCROLL;
    if (c.style & kBorder) style |= WS_BORDER;
    switch (c.kind) {
    case ControlKind::Label:
        style |= (c.style & kRightAligned) ? SS_RIGHT : SS_LEFT;
        if (c.style & kNoPrefix) style |= SS_NOPREFIX;
        break;
    case ControlKind::Icon: style |= SS_ICON; break;
    case ControlKind::DropDown:
        style |= CBS_DROPDOWN;
        if (!(c.style & kUnsorted)) style |= CBS_SORT;
        break;
    case ControlKind::PushButton: style |= BS_PUSHBUTTON; break;
    case ControlKind::DefPushButton: style |= BS_DEFPUSHBUTTON; break;
    case ControlKind::EditBox:
        style |= ES_LEFT;
        if (c.style & kAutoHScroll) style |= ES_AUTOHSCROLL;
        break;
    }
    return style;
}

DialogTemplateBlock::DialogTemplateBlock(const DialogTemplate& tmpl, Language language, DWORD style, DWORD exStyle) {
    add(1);      // dlgVer
    add(0xFFFF); // signature: extended
    addDword(0); // helpID
    addDword(exStyle);
    addDword(style | DS_SETFONT);
    add(WORD(tmpl.controls.size()));
    add(0); // x, y: centred by the view
    add(0);
    add(WORD(tmpl.w));
    add(WORD(tmpl.h));
    add(0); // no menu
    add(0); // the standard dialog class
    addText(uiText(tmpl.caption, language));
    add(WORD(tmpl.pointSize));
    add(FW_NORMAL);
    add(0); // not italic, default character set
    addText(tmpl.fontFace);

    for (const ControlTemplate& c : tmpl.controls) {
        align();
        addDword(0); // helpID
        addDword(0); // exStyle
        addDword(controlStyle(c));
        add(WORD(c.x));
        add(WORD(c.y));
        add(WORD(c.w));
        add(WORD(c.h));
        addDword(DWORD(c.id)); // -1 for the labels, as resource compilers write it
        add(0xFFFF);
        add(controlClass(c.kind));
        if (c.kind == ControlKind::Icon) {
            add(0xFFFF);
            add(WORD(kAppIconId));
        } else {
            addText(uiText(c.text, language));
        }
        add(0); // no creation data
    }
}

void DialogTemplateBlock::addDword(DWORD value) {
    add(LOWORD(value));
    add(HIWORD(value));
}

void DialogTemplateBlock::addText(const std::string& utf8) {
    for (wchar_t ch : widen(utf8)) add(WORD(ch));
    add(0);
}

void DialogTemplateBlock::align() {
    if (words_.size() % 2 != 0) add(0);
}
