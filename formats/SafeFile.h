#pragma once
#include <filesystem>
#include <functional>

#include "XStream.h"

// Writes Name through a temporary file in the same folder that is renamed over
// Name only after WriteTo has returned and the data reached the disk. When
// WriteTo throws, or anything else fails, the temporary file is removed and an
// existing file of that name stays as it was; the exception goes on to the
// caller (EFileStreamError for failures of the file system itself). A symbolic
// link is followed: the file it points to is the one replaced.
void SaveViaTempFile(const std::filesystem::path& Name, const std::function<void(TStream&)>& WriteTo);
