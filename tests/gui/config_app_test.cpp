#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/config_app.h"
#include "tests/gui/gui_fakes.h"

namespace {

ConfigDialog* shownConfigDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<ConfigDialog*>(w); dialog != nullptr && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

bool anyConfigDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<ConfigDialog*>(w) != nullptr) return true;
    }
    return false;
}

TEST(ConfigApp, StartupFailureShowsTheOneWarningAndNoDialog) {
    FakePort port;
    ConfigApp app(port, [] { return false; });
    int boxesSeen = 0;
    ShownBox seen;
    bool dialogExisted = false;
    WidgetWatcher closer(&activeMessageBox, [&](QWidget* widget) {
        auto* box = static_cast<QMessageBox*>(widget);
        ++boxesSeen;
        seen = {false, box->windowTitle(), box->text(), box->icon(), box->standardButtons(), {}};
        dialogExisted = anyConfigDialog();
        box->accept();
    });

    EXPECT_FALSE(app.initInstance());
    EXPECT_EQ(boxesSeen, 1);
    EXPECT_EQ(seen.text, QString::fromUtf8("Windows 通信端口初始化失败。"));
    EXPECT_EQ(seen.caption, QString::fromUtf8("ventora_gui_tests"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_FALSE(dialogExisted);
    EXPECT_FALSE(anyConfigDialog());
}

TEST(ConfigApp, EscapeEndsTheRunFromThePortList) {
    FakePort port;
    ConfigApp app(port, [] { return true; });
    bool focusOnPortList = false;
    WidgetWatcher escaper([]() -> QWidget* { return shownConfigDialog(); },
                          [&](QWidget* widget) {
                              auto* dialog = static_cast<ConfigDialog*>(widget);
                              QWidget* focus = dialog->focusWidget();
                              auto* ports = qobject_cast<QComboBox*>(dialog->control(1000));
                              focusOnPortList = focus == ports || focus == ports->lineEdit();
                              QTest::keyClick(focus != nullptr ? focus : dialog, Qt::Key_Escape);
                          });

    EXPECT_FALSE(app.initInstance());
    EXPECT_TRUE(focusOnPortList);
    EXPECT_FALSE(anyConfigDialog());
}

} // namespace
