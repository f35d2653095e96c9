#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tv {

// What a release offers, signed as one: its version and the SHA-256 digest of its program. The
// update server publishes it as /Ketbook.manifest, three lines:
//   version 1.2.1
//   sha256 <64 lowercase hexadecimal digits>
//   signature <Base64 of the Ed25519 signature over the two lines above, line ends included>
// Signing the version with the program keeps a server that was broken into from offering an older
// signed program as new.
struct ReleaseManifest
{
    static constexpr qint64 kMaxBytes = 4096;

    QString version;
    QByteArray sha256; // 32 bytes

    // The manifest in `file` when it is whole, of this form and signed by the key in
    // `publicKeyPem`; nullopt otherwise.
    static std::optional<ReleaseManifest> read(const QByteArray &file, const QByteArray &publicKeyPem);
};

} // namespace tv
