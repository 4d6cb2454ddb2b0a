#pragma once
// The About box: the icon, the version line, a second line and "确定" ("OK").

#include <QDialog>

#include "window/texts.h"

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // Centred over its owner, the main dialog; its texts in the language.
    explicit AboutDialog(QWidget* owner, Language language = Language::Chinese);
};
