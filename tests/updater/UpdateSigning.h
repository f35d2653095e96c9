#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tv::test {

// The signature that scripts/sign-update.sh makes for `program` with the given private key (the
// build's test key unless told otherwise); empty when signing failed.
inline QByteArray signUpdate(const QByteArray &program,
                             const QString &key = QStringLiteral(TALLYVANE_TEST_SIGNING_KEY))
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("Ketbook")));
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(program) != program.size()) return {};
    f.close();
    QProcess p;
    p.start(QStringLiteral(TALLYVANE_SIGN_SCRIPT), {key, f.fileName()});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("sign-update.sh failed: %s", p.readAllStandardError().constData());
        return {};
    }
    QFile sig(dir.filePath(QStringLiteral("Ketbook.sig")));
    return sig.open(QIODevice::ReadOnly) ? sig.readAll() : QByteArray();
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
