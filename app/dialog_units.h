#pragma once
// Dialog units: the horizontal unit is a quarter of the font's average
// character width (over A-Z a-z), the vertical unit an eighth of its height.

#include <QFont>
#include <QList>
#include <QRect>
#include <QWidget>

#include "window/dialog_templates.h"

struct DialogUnits {
    int baseX = 0; // average character width, px
    int baseY = 0; // font height, px

    static DialogUnits forFont(const QFont& font);

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QRect toPixels(int x, int y, int w, int h) const;
};

// The dialog font: the template's face with the CJK faces a desktop is likely
// to have in its place.
QFont dialogFont(const DialogTemplate& tmpl);

// Creates the template's controls on the dialog with their texts in the
// language, in template order, and sets the tab order to that order. Returns
// the widgets in template order.
QList<QWidget*> buildControls(QWidget& dialog, const DialogTemplate& tmpl, const DialogUnits& units, Language language);

// Gives the widgets that buildControls made their texts in the language, and
// fits the labels again from their template rectangles.
void showControlTexts(const QList<QWidget*>& widgets, const DialogTemplate& tmpl, const DialogUnits& units,
                      Language language);

// The client area of the template, px.
QSize clientSize(const DialogTemplate& tmpl, const DialogUnits& units);
