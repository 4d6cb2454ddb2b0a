#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "app/app_resources.h"
#include "tests/gui/gui_fakes.h"
#include "tests/support/receive_rig.h"
#include "tests/support/sim_start.h"

namespace {

bool hasCjk(const QString& text) {
    for (QChar c : text) {
        if ((c.unicode() >= 0x3000 && c.unicode() <= 0x9FFF) || (c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF))
            return true;
    }
    return false;
}

void click(ConfigDialog& dialog, int id) { qobject_cast<QPushButton*>(dialog.control(id))->click(); }

// Every text of the window: its caption, each label's and button's text (which
// must fit its widget, and the widget the dialog), and the port list's tips.
QStringList windowTexts(ConfigDialog& dialog) {
    QStringList texts{dialog.windowTitle()};
    const QRect client(QPoint(0, 0), dialog.size());
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        texts << label->text();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
        EXPECT_TRUE(client.contains(label->geometry())) << label->text().toStdString();
    }
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        texts << button->text();
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 8)
            << button->text().toStdString();
    }
    auto* ports = qobject_cast<QComboBox*>(dialog.control(1000));
    ports->showPopup();
    ports->hidePopup();
    for (int i = 0; i < ports->count(); ++i) texts << ports->itemData(i, Qt::ToolTipRole).toString();
    return texts;
}

// The window started in Chinese and switched to English from its menu, through
// a detection, a measurement, a refused area, a failed open and the About box.
TEST(Language, SwitchedToEnglishTheWindowShowsNoChineseCharacter) {
    const auto transmitter = startSim();
    ASSERT_TRUE(transmitter);
    DevicePort port(transmitter->slavePath());
    useQtTranslations(Language::Chinese); // as the application starts in Chinese
    RecordingDialog dialog(port);
    TimerBlock timerBlock;
    dialog.installEventFilter(&timerBlock);
    const QSize chineseSize = dialog.size();
    dialog.messageBox("设置成功", std::nullopt, 0);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_TRUE(dialog.boxes[0].texts.contains(QString::fromUtf8("确定"))) << "Qt's Chinese translations are installed";

    ASSERT_TRUE(dialog.dispatch(EventMessage::SysCommand, 48));
    EXPECT_EQ(dialog.systemMenu().actions().last()->text(), QString::fromUtf8("中文"));
    click(dialog, 1001);
    click(dialog, 1013);
    dialog.setBoxText(1012, "x");
    click(dialog, 1016);
    dialog.dispatch(EventMessage::SysCommand, 16);
    DevicePort gone("/nonexistent/tty");
    RecordingDialog failing(gone, Language::English);
    click(failing, 1001);

    ASSERT_EQ(dialog.boxes.size(), 4u);
    EXPECT_EQ(dialog.boxes[1].text, "Address: 1  Baud rate: 9600");
    EXPECT_EQ(dialog.boxes[1].caption, "Detection result");
    EXPECT_EQ(dialog.boxText(1010), "12.3");
    EXPECT_EQ(dialog.boxes[2].text, "Area out of range (0 to 65535)");
    EXPECT_TRUE(dialog.boxes[3].about);
    ASSERT_EQ(failing.boxes.size(), 1u);
    EXPECT_EQ(failing.boxes[0].text, "Cannot open the serial port");
    EXPECT_EQ(dialog.size(), chineseSize);
    for (RecordingDialog* window : {&dialog, &failing}) {
        QStringList texts = windowTexts(*window);
        for (std::size_t i = window == &dialog ? 1 : 0; i < window->boxes.size(); ++i) {
            const ShownBox& box = window->boxes[i];
            texts << box.caption << box.text << box.texts;
            EXPECT_TRUE(box.about || box.texts.contains(QStringLiteral("OK"))) << box.texts.join('|').toStdString();
        }
        for (const QString& text : texts) EXPECT_FALSE(hasCjk(text)) << text.toStdString();
    }
}

} // namespace
