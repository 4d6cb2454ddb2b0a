#include "window/dialog_templates.h"

#include "window/dialog_access.h"

namespace {

constexpr unsigned kLabel = kRightAligned | kStartsGroup;
constexpr unsigned kButton = kTabStop;
constexpr unsigned kEdit = kBorder | kAutoHScroll | kTabStop;

constexpr ControlTemplate kAboutControls[] = {
    {kNoControlId, ControlKind::Icon, TextId::None, 11, 17, 20, 20, kStyleNone},
    {kNoControlId, ControlKind::Label, TextId::AboutVersion, 40, 10, 119, 8, kNoPrefix | kStartsGroup},
    {kNoControlId, ControlKind::Label, TextId::AboutCopyright, 40, 25, 119, 8, kStartsGroup},
    {kIdOk, ControlKind::DefPushButton, TextId::OkButton, 178, 7, 50, 14, kStartsGroup | kTabStop},
};

constexpr ControlTemplate kMainControls[] = {
    {kNoControlId, ControlKind::Label, TextId::PortLabel, 57, 29, 57, 8, kLabel},
    {kPortList, ControlKind::DropDown, TextId::None, 122, 27, 44, 134, kVScroll | kTabStop | kUnsorted},
    {kDetectButton, ControlKind::PushButton, TextId::DetectButton, 194, 21, 67, 25, kButton},
    {kNoControlId, ControlKind::Label, TextId::AddressLabel, 73, 61, 41, 8, kLabel},
    {kNoControlId, ControlKind::Label, TextId::BaudLabel, 65, 78, 49, 8, kLabel},
    {kAddressBox, ControlKind::EditBox, TextId::None, 122, 59, 44, 12, kEdit},
    {kBaudBox, ControlKind::EditBox, TextId::None, 122, 76, 44, 12, kEdit},
    {kQueryAddressButton, ControlKind::PushButton, TextId::QueryButton, 185, 58, 42, 14, kButton},
    {kSetAddressButton, ControlKind::PushButton, TextId::SetButton, 238, 58, 42, 14, kButton},
    {kQueryBaudButton, ControlKind::PushButton, TextId::QueryButton, 185, 75, 42, 14, kButton},
    {kSetBaudButton, ControlKind::PushButton, TextId::SetButton, 238, 75, 42, 14, kButton},
    {kNoControlId, ControlKind::Label, TextId::VelocityLabel, 81, 133, 33, 8, kLabel},
    {kVelocityBox, ControlKind::EditBox, TextId::None, 122, 129, 48, 16, kEdit},
    {kNoControlId, ControlKind::Label, TextId::VolumeLabel, 89, 156, 25, 8, kLabel},
    {kNoControlId, ControlKind::Label, TextId::AreaLabel, 65, 198, 49, 8, kLabel},
    {kVolumeBox, ControlKind::EditBox, TextId::None, 122, 153, 48, 16, kEdit},
    {kAreaBox, ControlKind::EditBox, TextId::None, 122, 195, 48, 16, kEdit},
    {kMeasureButton, ControlKind::PushButton, TextId::QueryButton, 198, 131, 50, 27, kButton},
    {kAreaQueryButton, ControlKind::PushButton, TextId::QueryButton, 200, 195, 42, 14, kButton},
    {kAreaSetButton, ControlKind::PushButton, TextId::SetButton, 253, 195, 42, 14, kButton},
    {kNoControlId, ControlKind::Label, TextId::VelocityUnit, 172, 133, 13, 8, kLabel},
    {kNoControlId, ControlKind::Label, TextId::VolumeUnit, 173, 157, 17, 8, kLabel},
    {kNoControlId, ControlKind::Label, TextId::AreaUnit, 171, 199, 13, 8, kLabel},
};

struct StringResource {
    int id;
    TextId text;
};

constexpr StringResource kStrings[] = {
    {kStringAboutEntry, TextId::AboutEntry},
    {kStringSocketsFailed, TextId::SocketsFailed},
};

} // namespace

const DialogTemplate kAboutTemplate = {
    kAboutTemplateId, TextId::AboutCaption, 235, 55, "宋体", 9, kAboutControls,
};

const DialogTemplate kMainTemplate = {
    kMainTemplateId, TextId::MainCaption, 344, 263, "宋体", 9, kMainControls,
};

const char* loadString(int id, Language language) {
    for (const StringResource& s : kStrings) {
        if (s.id == id) return uiText(s.text, language);
    }
    return "";
}
