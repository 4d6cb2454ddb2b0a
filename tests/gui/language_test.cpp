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

// The window started in Chinese and switched to English from its menu, through
// a detection, a refused area and the About box: its caption, controls, port
// tips and boxes, Qt's OK button included, hold no Chinese character.
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
    EXPECT_TRUE(dialog.boxes.at(0).texts.contains(QString::fromUtf8("确定")));

    ASSERT_TRUE(dialog.dispatch(EventMessage::SysCommand, 48));
    EXPECT_EQ(dialog.systemMenu().actions().last()->text(), QString::fromUtf8("中文"));
    qobject_cast<QPushButton*>(dialog.control(1001))->click();
    dialog.setBoxText(1012, "x");
    qobject_cast<QPushButton*>(dialog.control(1016))->click();
    dialog.dispatch(EventMessage::SysCommand, 16);
    ASSERT_EQ(dialog.boxes.size(), 4u);
    EXPECT_EQ(dialog.boxes[1].text, "Address: 1  Baud rate: 9600");
    EXPECT_TRUE(dialog.boxes[1].texts.contains("OK"));
    EXPECT_EQ(dialog.size(), chineseSize);

    QStringList texts{dialog.windowTitle()};
    for (QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) texts << button->text();
    auto* ports = qobject_cast<QComboBox*>(dialog.control(1000));
    ports->showPopup();
    texts << ports->itemData(1, Qt::ToolTipRole).toString();
    for (std::size_t i = 1; i < dialog.boxes.size(); ++i)
        texts << dialog.boxes[i].caption << dialog.boxes[i].text << dialog.boxes[i].texts;
    for (const QString& text : texts) EXPECT_FALSE(hasCjk(text)) << text.toStdString();
    EXPECT_TRUE(texts.contains("No such device"));
}

} // namespace
