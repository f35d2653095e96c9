#pragma once

#include <QByteArray>
#include <QString>

namespace tv {

// The key that signs Tallyvane's releases, as PEM text. Compiled in from a file named at build
// time (TALLYVANE_UPDATE_PUBLIC_KEY); each program links the key it trusts.
QByteArray updatePublicKeyPem();

// Whether `signature` is a valid Ed25519 signature over `data` by the public key in `publicKeyPem`.
// Anything else (another kind of key, a malformed key or signature) is simply not valid.
bool verifyUpdateSignature(const uchar *data, qsizetype size, const QByteArray &signature,
                           const QByteArray &publicKeyPem);

} // namespace tv
