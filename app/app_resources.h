#pragma once
// Resources shared by the windows of the application.

#include <QIcon>
#include <QString>

#include "window/texts.h"

// Icon 128, the application icon.
QIcon applicationIcon();

// The executable's file name without directory and extension; the caption of
// message boxes shown without one.
QString applicationName();

// String resource id in the language as a QString; empty when there is none.
QString loadQString(int id, Language language);

// Qt's own texts (the buttons of its boxes) in the language: Qt's Chinese
// translations for Chinese, when installed, its English otherwise.
void useQtTranslations(Language language);
