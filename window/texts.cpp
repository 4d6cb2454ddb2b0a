#include "window/texts.h"

#include <cctype>

#include "ventora_version.h"

namespace {

constexpr TextEntry kTexts[] = {
    {TextId::MainCaption, "管道风速变送器485配置软件", "Duct Air Velocity Transmitter 485 Setup"},
    {TextId::PortLabel, "请选择串口号：", "Serial port:"},
    {TextId::DetectButton, "测试波特率", "Detect"},
    {TextId::AddressLabel, "设备地址：", "Address:"},
    {TextId::BaudLabel, "设备波特率：", "Baud rate:"},
    {TextId::QueryButton, "查询", "Read"},
    {TextId::SetButton, "设置", "Set"},
    {TextId::VelocityLabel, "风速值：", "Air velocity:"},
    {TextId::VolumeLabel, "风量：", "Air volume:"},
    {TextId::AreaLabel, "管道截面积：", "Duct area:"},
    {TextId::VelocityUnit, "m/s", "m/s"},
    {TextId::VolumeUnit, "m3/h", "m3/h"},
    {TextId::AreaUnit, "cm2", "cm2"},
    {TextId::NoDevice, "无此设备", "No such device"},
    {TextId::AboutCaption, "关于管道风速变送器配置软件", "About Ventora"},
    {TextId::AboutVersion, "管道风速Ventora " VENTORA_VERSION_SHORT " 版",
     "Duct air velocity Ventora " VENTORA_VERSION_SHORT},
    {TextId::AboutCopyright, "版权所有 (C) 2026", "Copyright (C) 2026"},
    {TextId::OkButton, "确定", "OK"},
    {TextId::AboutEntry, "关于 Ventora(&A)...", "&About Ventora..."},
    {TextId::OtherLanguageEntry, "English", "中文"},
    {TextId::SocketsFailed, "Windows 通信端口初始化失败。", "Windows Sockets could not be started."},
    {TextId::WarningCaption, "警告", "Warning"},
    {TextId::TestResultCaption, "测试结果", "Detection result"},
    {TextId::TestFaultCaption, "测试结果异常", "Detection result: fault"},
    {TextId::OpenFailed, "串口打开失败", "Cannot open the serial port"},
    {TextId::NothingAnswered, "测试结束 未知波特率", "No transmitter answered at 2400, 4800 or 9600 bit/s"},
    {TextId::FdDetected, "设备地址：%d  波特率：%d", "Address: %d  Baud rate: %d"},
    {TextId::ModbusDetected, "土壤水分变送器\r\n地址：%d  波特率：%d\r\n%s",
     "Soil moisture transmitter\r\nAddress: %d  Baud rate: %d\r\n%s"},
    {TextId::StopBitsWrong, "\r\n停止位异常,请重新配置地址或波特率",
     "\r\nStop bits wrong: set the address or the baud rate again"},
    {TextId::ParityNone, "无校验", "No parity"},
    {TextId::ParityOdd, "奇校验", "Odd parity"},
    {TextId::ParityEven, "偶校验", "Even parity"},
    {TextId::ParityInvalid, "错误校验", "Invalid parity"},
    {TextId::AddressZero, "地址不能为0", "The address cannot be 0"},
    {TextId::AddressWrong, "地址错误", "Address out of range (1 to 255)"},
    {TextId::AddressSet, "地址设置成功", "Address set"},
    {TextId::AddressFailed, "地址设置失败", "Setting the address failed"},
    {TextId::BaudWrong, "波特率错误", "Baud rate not allowed (2400, 4800 or 9600)"},
    {TextId::BaudSet, "波特率设置成功", "Baud rate set"},
    {TextId::BaudFailed, "波特率设置失败", "Setting the baud rate failed"},
    {TextId::AreaWrong, "截面积错误", "Area out of range (0 to 65535)"},
    {TextId::AreaSet, "设置成功", "Area set"},
    {TextId::AreaFailed, "设置失败", "Setting the area failed"},
};

// Lower-case ASCII, for comparing language names.
std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::span<const TextEntry> textTable() { return kTexts; }

const char* uiText(TextId id, Language language) {
    for (const TextEntry& entry : kTexts) {
        if (entry.id == id) return language == Language::English ? entry.english : entry.chinese;
    }
    return "";
}

Language otherLanguage(Language language) {
    return language == Language::Chinese ? Language::English : Language::Chinese;
}

Language languageOf(std::string_view uiLanguage) {
    const std::string name = lower(uiLanguage);
    // What follows a language code: a region, a code set or a modifier.
    const std::size_t end = name.find_first_of("-_.@");
    const std::string code = name.substr(0, end);
    if (code.empty() || code == "c" || code == "posix" || code == "zh") return Language::Chinese;
    return Language::English;
}

std::optional<Language> chooseLanguage(const std::vector<std::string>& args, Language system, std::string& complaint) {
    Language chosen = system;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--lang") {
            if (i + 1 == args.size()) {
                complaint = "--lang needs a value: zh or en";
                return std::nullopt;
            }
            value = args[++i];
        } else if (args[i].starts_with("--lang=")) {
            value = args[i].substr(7);
        } else {
            continue;
        }
        if (value != "zh" && value != "en") {
            complaint = "--lang takes zh or en, not \"" + value + "\"";
            return std::nullopt;
        }
        chosen = value == "zh" ? Language::Chinese : Language::English;
    }
    return chosen;
}
