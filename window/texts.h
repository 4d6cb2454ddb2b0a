#pragma once
// Every text the window shows, by id, in both of its languages. The views and
// the window's behaviour ask for a text by id and render what they get; the
// Chinese forms are the tool's own, the English ones their translation.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class Language { Chinese, English };

enum class TextId {
    None, // no text: icons, drop-downs and edit boxes
    // The main dialog.
    MainCaption,
    PortLabel,
    DetectButton,
    AddressLabel,
    BaudLabel,
    QueryButton,
    SetButton,
    VelocityLabel,
    VolumeLabel,
    AreaLabel,
    VelocityUnit,
    VolumeUnit,
    AreaUnit,
    NoDevice, // a port list entry's tooltip
    // The About box and the system menu.
    AboutCaption,
    AboutVersion,
    AboutCopyright,
    OkButton,
    AboutEntry,
    OtherLanguageEntry, // names the language the entry switches to
    SocketsFailed,
    // Message boxes: captions, then texts; formats take printf conversions.
    WarningCaption,
    TestResultCaption,
    TestFaultCaption,
    OpenFailed,
    NothingAnswered,
    FdDetected,     // address %d, baud rate %d
    ModbusDetected, // address %d, baud rate %d, parity name %s
    StopBitsWrong,  // appended to ModbusDetected
    ParityNone,
    ParityOdd,
    ParityEven,
    ParityInvalid,
    AddressZero,
    AddressWrong,
    AddressSet,
    AddressFailed,
    BaudWrong,
    BaudSet,
    BaudFailed,
    AreaWrong,
    AreaSet,
    AreaFailed,
};

struct TextEntry {
    TextId id;
    const char* chinese; // UTF-8
    const char* english;
};

// The whole table, one entry per id but None.
std::span<const TextEntry> textTable();

// The text in the language; "" for None.
const char* uiText(TextId id, Language language);

Language otherLanguage(Language language);

// The language a user interface language names ("zh-CN", "en_GB.UTF-8",
// "C"): Chinese for any zh language and for none at all ("", "C", "C.UTF-8",
// "POSIX"), English for every other.
Language languageOf(std::string_view uiLanguage);

// The window's command line: `--lang zh|en` or `--lang=zh|en` overrides the
// system's language; other arguments are left to others. Nullopt for a bad or
// missing value, with what to tell the user in complaint.
std::optional<Language> chooseLanguage(const std::vector<std::string>& args, Language system, std::string& complaint);
