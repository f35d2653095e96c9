#pragma once

#include <QByteArray>
#include <QString>

namespace tv {

// Whether `signature` is a valid Ed25519 signature over `data` by the public key in `publicKeyPem`.
// Anything else (another kind of key, a malformed key or signature) is simply not valid.
bool verifyUpdateSignature(const uchar *data, qsizetype size, const QByteArray &signature,
                           const QByteArray &publicKeyPem);

} // namespace tv
