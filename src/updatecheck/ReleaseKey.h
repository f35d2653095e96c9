#pragma once

#include <QByteArray>
#include <QString>

namespace tv {

// The public half of the release key as PEM text, compiled in from the file named by the build
// setting TALLYVANE_UPDATE_PUBLIC_KEY; empty for a build made without one. Each program links the
// key library it was built with and hands the key over with setReleaseKey() in main().
QByteArray updatePublicKeyPem();

// The key this program checks updates with. Empty: no update is offered or installed.
void setReleaseKey(const QByteArray &pem);
QByteArray releaseKey();

// What the update windows of a copy built without a release key say.
inline QString noReleaseKeyText()
{
    return QStringLiteral("This copy was built without a release key; updates are off.");
}

} // namespace tv
