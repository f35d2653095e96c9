#include "ReleaseManifest.h"

#include "UpdateSignature.h"

#include "updatecheck/VersionText.h"

#include <QList>

namespace tv {

namespace {
// The value of a line "<key> <value>", or nullopt for any other line.
std::optional<QByteArray> valueOf(const QByteArray &line, const QByteArray &key)
{
    if (!line.startsWith(key + ' ')) return std::nullopt;
    return line.mid(key.size() + 1);
}

bool isLowerHex(const QByteArray &text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}
} // namespace

std::optional<ReleaseManifest> ReleaseManifest::read(const QByteArray &file, const QByteArray &publicKeyPem)
{
    if (file.size() > kMaxBytes || !file.endsWith('\n')) return std::nullopt;
    const QList<QByteArray> lines = file.chopped(1).split('\n');
    if (lines.size() != 3) return std::nullopt;
    const auto version = valueOf(lines[0], "version");
    const auto sha256 = valueOf(lines[1], "sha256");
    const auto signature = valueOf(lines[2], "signature");
    if (!version || !sha256 || !signature) return std::nullopt;

    // Nothing of what it says counts before the signature over it has been checked.
    const auto decoded = QByteArray::fromBase64Encoding(*signature, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    const QByteArray signedPart = lines[0] + '\n' + lines[1] + '\n';
    if (!verifyUpdateSignature(reinterpret_cast<const uchar *>(signedPart.constData()), signedPart.size(),
                               *decoded, publicKeyPem))
        return std::nullopt;

    // Even a signed text must be a version as the update check takes it, written plainly.
    const QString text = QString::fromLatin1(*version);
    if (cleanVersionText(text) != text) return std::nullopt;
    if (sha256->size() != 64 || !isLowerHex(*sha256)) return std::nullopt;
    return ReleaseManifest{text, QByteArray::fromHex(*sha256)};
}

} // namespace tv
