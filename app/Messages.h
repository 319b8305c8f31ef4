#pragma once
#include <QString>
#include <functional>

enum TMessageKind : int { mkWarning = 0, mkError = 1, mkInformation = 2, mkConfirm = 3 };

// The program's one message box; answers the pressed button
// (QMessageBox::Ok, Yes or No).
int ShowMessageKind(const QString& Text, int Kind);
// Takes the place of the box when set (tests, scripted runs).
extern std::function<int(const QString& Text, int Kind)> MessageKindHook;
