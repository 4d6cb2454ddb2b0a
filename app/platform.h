#pragma once
// What the Qt window needs of the desktop it runs on (Linux; Windows has the
// native view in win32/).

#include <optional>
#include <string_view>
#include <vector>

#include "window/texts.h"

class QMenu;
class QString;
class QWidget;

// The process's start-up step, before the dialog; nothing is needed here.
// False when it failed.
bool platformStartup();

// Appends an entry (text, command id) to the window's menu of window
// commands, after a separator when asked: the window system owns the
// title-bar menu, so the entry goes to contextMenu. False when the window has
// no such menu.
bool appendSystemMenuEntry(QWidget& window, QMenu& contextMenu, const QString& text, unsigned command,
                           bool afterSeparator);

// The window's language at start: the user's interface language as Qt reads
// it from LANGUAGE, LC_ALL, LC_MESSAGES and LANG, unless the command line's
// --lang overrides it. Nullopt after a bad --lang, which it has then told
// the user about on stderr, naming the program.
std::optional<Language> startupLanguage(const char* program, int argc, char** argv);

// What the command line asks for, on the system's language as above: -1 when
// the window should open, in language; otherwise the exit status, after the
// usage or the version on stdout or the complaint on stderr. Called before
// QApplication exists (qtTookItsOwn false: what Qt may take is let by) and
// again after it took its own options from argc and argv.
int readStartup(const char* program, int argc, char** argv, const std::vector<std::string_view>& ownFlags,
                bool qtTookItsOwn, Language& language);

// Whether Qt can open a window here. On Linux that needs an X11 or Wayland
// display, or an explicit QT_QPA_PLATFORM; without one Qt would abort with a
// message that does not say what to do, so this says it on stderr, naming
// the program.
bool platformHasDisplay(const char* program);
