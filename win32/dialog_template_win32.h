#pragma once
// The templates of window/dialog_templates.h as the in-memory extended dialog
// templates that DialogBoxIndirectParamW builds a dialog from, and the one
// place where the window's UTF-8 texts meet Windows' UTF-16.

#include <windows.h>

#include <string>
#include <vector>

#include "window/dialog_templates.h"

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);

// A DLGTEMPLATEEX with its DLGITEMTEMPLATEEX items, DWORD-aligned as Windows
// wants it, with the texts in the language. style and exStyle are the
// dialog's own; each control's come from its kind and style bits.
class DialogTemplateBlock {
public:
    DialogTemplateBlock(const DialogTemplate& tmpl, Language language, DWORD style, DWORD exStyle);
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void add(WORD word) { words_.push_back(word); }
    void addDword(DWORD value);
    void addText(const std::string& utf8);
    void align();

    std::vector<WORD> words_;
};

// The window style bits of one template control.
DWORD controlStyle(const ControlTemplate& control);
