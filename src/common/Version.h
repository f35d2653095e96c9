#pragma once

#include <QString>

namespace tv {

inline constexpr int kVersionMajor = TALLYVANE_VERSION_MAJOR;
inline constexpr int kVersionMinor = TALLYVANE_VERSION_MINOR;
inline constexpr int kVersionRevision = TALLYVANE_VERSION_PATCH;

// "1.2.0": each number in decimal, no blanks, no leading zeros.
inline QString versionText()
{
    return QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
}

// The application's title, shown on every message box that carries no title of its own.
inline QString appTitle()
{
    return QStringLiteral("Tallyvane");
}

// Base URL of the update server; the environment variable wins over the built-in one.
inline QString updateServerUrl()
{
    const QByteArray env = qgetenv("TALLYVANE_UPDATE_URL");
    return env.isEmpty() ? QStringLiteral(TALLYVANE_DEFAULT_UPDATE_URL) : QString::fromUtf8(env);
}

} // namespace tv
