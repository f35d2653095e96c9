#pragma once

#include "AppError.h"

#include <QString>

namespace tv {

// An AppError for a failed file call, numbered from errno as users know file errors (61 Disk
// full, 70 Permission denied, 53 File not found, ...; 75 Path/File access error for the rest),
// its description saying what failed and the system's reason: "<what>: <reason>".
AppError fileError(int err, const QString &what);

} // namespace tv
