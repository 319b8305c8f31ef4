#pragma once
#include <QString>
#include <QUrl>
#include <functional>

// The sibling thumbnail browser, beside the program.
inline constexpr char FennickName[] = "fennick";

// The help texts and the documentation page, beside the program.
inline constexpr char HelpGeneralFile[] = "Help/Pelorin Help.txt";
inline constexpr char HelpShortcutsFile[] = "Help/Pelorin Shortcuts.txt";
inline constexpr char DocFile[] = "Doc/Pelorin Documentation.html";

// Opens a document or a folder with the desktop's program for it;
// replaceable so that callers can be observed.
extern std::function<bool(const QUrl& Url)> OpenUrl;

// The menu caption of a launch program: its file name cut before the first
// "." and six blanks; "none" for no program.
QString LaunchCaption(const QString& ProgramPath);

// The folder of a file, with its trailing separator; empty for no file.
QString FolderOf(const QString& FileName);
