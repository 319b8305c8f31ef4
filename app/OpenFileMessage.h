#pragma once
#include <QString>
#include <cstdint>

// The open-file message that another instance sends to the running one: its
// number, and the longest name it carries.
inline constexpr uint32_t WM_OPENFILE = 0x465;
inline constexpr int OpenFileNameLimit = 256;

// The local socket name that carries the open-file message.
QString OpenFileServerName();
