#pragma once
// What differs between the platforms the window runs on. The build picks one
// implementation: platform_win32.cpp or platform_posix.cpp.

class QByteArray;
class QMenu;
class QString;
class QWidget;

// The process's start-up step: Windows Sockets 1.1 on Windows, nothing
// elsewhere. False when it failed.
bool platformStartup();

// Appends a separator and then an entry (text, command id) to the window's
// menu of window commands: the system menu on Windows; elsewhere, where the
// window system owns the title-bar menu, contextMenu. False when the window
// has no such menu.
bool appendSystemMenuEntry(QWidget& window, QMenu& contextMenu, const QString& text, unsigned command);

// The command id of a native system-menu command message; false for any
// other message.
bool nativeSystemCommand(const QByteArray& eventType, void* message, unsigned& command);

// Whether Qt can open a window here. On Linux that needs an X11 or Wayland
// display, or an explicit QT_QPA_PLATFORM; without one Qt would abort with a
// message that does not say what to do, so this says it on stderr, naming
// the program.
bool platformHasDisplay(const char* program);
