#include "window/dialog_templates.h"

#include "window/dialog_access.h"
#include "ventora_version.h"

namespace {

constexpr unsigned kLabel = kRightAligned | kStartsGroup;
constexpr unsigned kButton = kTabStop;
constexpr unsigned kEdit = kBorder | kAutoHScroll | kTabStop;

constexpr ControlTemplate kAboutControls[] = {
    {kNoControlId, ControlKind::Icon, "", 11, 17, 20, 20, kStyleNone},
    {kNoControlId, ControlKind::Label, "管道风速Ventora " VENTORA_VERSION_SHORT " 版", 40, 10, 119, 8,
     kNoPrefix | kStartsGroup},
    {kNoControlId, ControlKind::Label, "版权所有 (C) 2026", 40, 25, 119, 8, kStartsGroup},
    {kIdOk, ControlKind::DefPushButton, "确定", 178, 7, 50, 14, kStartsGroup | kTabStop},
};

constexpr ControlTemplate kMainControls[] = {
    {kNoControlId, ControlKind::Label, "请选择串口号：", 57, 29, 57, 8, kLabel},
    {kPortList, ControlKind::DropDown, "", 122, 27, 44, 134, kVScroll | kTabStop | kUnsorted},
    {kDetectButton, ControlKind::PushButton, "测试波特率", 194, 21, 67, 25, kButton},
    {kNoControlId, ControlKind::Label, "设备地址：", 73, 61, 41, 8, kLabel},
    {kNoControlId, ControlKind::Label, "设备波特率：", 65, 78, 49, 8, kLabel},
    {kAddressBox, ControlKind::EditBox, "", 122, 59, 44, 12, kEdit},
    {kBaudBox, ControlKind::EditBox, "", 122, 76, 44, 12, kEdit},
    {kQueryAddressButton, ControlKind::PushButton, "查询", 185, 58, 42, 14, kButton},
    {kSetAddressButton, ControlKind::PushButton, "设置", 238, 58, 42, 14, kButton},
    {kQueryBaudButton, ControlKind::PushButton, "查询", 185, 75, 42, 14, kButton},
    {kSetBaudButton, ControlKind::PushButton, "设置", 238, 75, 42, 14, kButton},
    {kNoControlId, ControlKind::Label, "风速值：", 81, 133, 33, 8, kLabel},
    {kVelocityBox, ControlKind::EditBox, "", 122, 129, 48, 16, kEdit},
    {kNoControlId, ControlKind::Label, "风量：", 89, 156, 25, 8, kLabel},
    {kNoControlId, ControlKind::Label, "管道截面积：", 65, 198, 49, 8, kLabel},
    {kVolumeBox, ControlKind::EditBox, "", 122, 153, 48, 16, kEdit},
    {kAreaBox, ControlKind::EditBox, "", 122, 195, 48, 16, kEdit},
    {kMeasureButton, ControlKind::PushButton, "查询", 198, 131, 50, 27, kButton},
    {kAreaQueryButton, ControlKind::PushButton, "查询", 200, 195, 42, 14, kButton},
    {kAreaSetButton, ControlKind::PushButton, "设置", 253, 195, 42, 14, kButton},
    {kNoControlId, ControlKind::Label, "m/s", 172, 133, 13, 8, kLabel},
    {kNoControlId, ControlKind::Label, "m3/h", 173, 157, 17, 8, kLabel},
    {kNoControlId, ControlKind::Label, "cm2", 171, 199, 13, 8, kLabel},
};

struct StringResource {
    int id;
    const char* text;
};

constexpr StringResource kStrings[] = {
    {kStringAboutEntry, "关于 Ventora(&A)..."},
    {kStringSocketsFailed, "Windows 通信端口初始化失败。"},
};

} // namespace

const DialogTemplate kAboutTemplate = {
    kAboutTemplateId, "关于管道风速变送器配置软件", 235, 55, "宋体", 9, kAboutControls,
};

const DialogTemplate kMainTemplate = {
    kMainTemplateId, "管道风速变送器485配置软件", 344, 263, "宋体", 9, kMainControls,
};

const char* loadString(int id) {
    for (const StringResource& s : kStrings) {
        if (s.id == id) return s.text;
    }
    return "";
}
