#pragma once
// The About box: the icon, the version line, a second line and "确定".

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // Centred over its owner, the main dialog.
    explicit AboutDialog(QWidget* owner);
};
