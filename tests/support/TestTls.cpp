#include "TestTls.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslConfiguration>

namespace tv::test {

namespace {
bool openssl(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(args.join(QLatin1Char(' '))), p.readAll().constData());
        return false;
    }
    return true;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

std::optional<TestTls> TestTls::make(const QString &dir, const QString &name)
{
    const QDir d(dir);
    const QString caKey = d.filePath(name + QStringLiteral("-ca.key"));
    const QString caCert = d.filePath(name + QStringLiteral("-ca.pem"));
    const QString key = d.filePath(name + QStringLiteral("-server.key"));
    const QString request = d.filePath(name + QStringLiteral("-server.csr"));
    const QString cert = d.filePath(name + QStringLiteral("-server.pem"));
    const QString extensions = d.filePath(name + QStringLiteral("-server.ext"));
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly)) return std::nullopt;
    ext.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    ext.close();
    const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                               QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes")};
    if (!openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), caCert,
                             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                             QStringLiteral("/CN=Tallyvane %1 test CA").arg(name)}) ||
        !openssl(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), key, QStringLiteral("-out"), request,
                             QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}) ||
        !openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                  QStringLiteral("-CA"), caCert, QStringLiteral("-CAkey"), caKey,
                  QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                  QStringLiteral("-out"), cert, QStringLiteral("-extfile"), extensions}))
        return std::nullopt;
    TestTls tls;
    tls.ca = QSslCertificate(readAll(caCert));
    tls.certificate = QSslCertificate(readAll(cert));
    tls.key = QSslKey(readAll(key), QSsl::Ec);
    if (tls.ca.isNull() || tls.certificate.isNull() || tls.key.isNull()) return std::nullopt;
    return tls;
}

void TestTls::trust() const
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificate(ca);
    QSslConfiguration::setDefaultConfiguration(conf);
}

} // namespace tv::test
