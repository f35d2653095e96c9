#pragma once

#include "common/Version.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tv::test {

// A version newer than the one this build installs.
inline QString newerVersion()
{
    return QStringLiteral("%1.0.0").arg(tv::kVersionMajor + 1);
}

// The manifest that scripts/sign-update.sh makes for `program` as `version` with the given private
// key (the build's test key unless told otherwise); empty when signing failed.
inline QByteArray signUpdate(const QByteArray &program, const QString &version = newerVersion(),
                             const QString &key = QStringLiteral(TALLYVANE_TEST_SIGNING_KEY))
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("Ketbook")));
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(program) != program.size()) return {};
    f.close();
    QProcess p;
    p.start(QStringLiteral(TALLYVANE_SIGN_SCRIPT), {key, f.fileName(), version});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("sign-update.sh failed: %s", p.readAllStandardError().constData());
        return {};
    }
    QFile manifest(dir.filePath(QStringLiteral("Ketbook.manifest")));
    return manifest.open(QIODevice::ReadOnly) ? manifest.readAll() : QByteArray();
}

// `lines` followed by a signature line over them made with openssl, for manifests the script
// refuses to make; empty when signing failed.
inline QByteArray signManifestLines(const QByteArray &lines,
                                    const QString &key = QStringLiteral(TALLYVANE_TEST_SIGNING_KEY))
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("signed")));
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(lines) != lines.size()) return {};
    f.close();
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("pkeyutl"), QStringLiteral("-sign"), QStringLiteral("-rawin"),
             QStringLiteral("-inkey"), key, QStringLiteral("-in"), f.fileName()});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    return lines + "signature " + p.readAllStandardOutput().toBase64() + "\n";
}

// A fresh Ed25519 private key at `path`, one the programs under test do not trust.
inline bool makeSigningKey(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("openssl"), {QStringLiteral("genpkey"), QStringLiteral("-algorithm"),
                                        QStringLiteral("ed25519"), QStringLiteral("-out"), path});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

} // namespace tv::test
