#include "app/about_dialog.h"

#include <QPushButton>

#include "app/dialog_units.h"
#include "window/dialog_templates.h"

AboutDialog::AboutDialog(QWidget* owner, Language language)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromUtf8(uiText(kAboutTemplate.caption, language)));
    setFont(dialogFont(kAboutTemplate));
    const DialogUnits units = DialogUnits::forFont(font());
    const QList<QWidget*> widgets = buildControls(*this, kAboutTemplate, units, language);
    for (QWidget* widget : widgets) {
        if (auto* button = qobject_cast<QPushButton*>(widget))
            connect(button, &QPushButton::clicked, this, &QDialog::accept);
    }
    setFixedSize(clientSize(kAboutTemplate, units));
}
