#pragma once
// Resources shared by the windows of the application.

#include <QIcon>
#include <QString>

// Icon 128, the application icon.
QIcon applicationIcon();

// The executable's file name without directory and extension; the caption of
// message boxes shown without one.
QString applicationName();

// String resource id as a QString; empty when there is none.
QString loadQString(int id);
