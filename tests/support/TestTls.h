#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <optional>

namespace tv::test {

// A certificate authority made for one test with the openssl command, and a server certificate
// for 127.0.0.1 that it signed.
struct TestTls
{
    QSslCertificate ca;
    QSslCertificate certificate;
    QSslKey key;

    // Made in `dir` (files named after `name`); nothing when openssl fails.
    static std::optional<TestTls> make(const QString &dir, const QString &name);
    // This process's TLS connections trust the authority from now on.
    void trust() const;
};

} // namespace tv::test
