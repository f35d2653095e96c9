#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace tv {

// Holds the updater's lock for the given program folder; nullptr when another updater for the
// same folder is already running.
std::unique_ptr<QLockFile> claimUpdaterInstance(const QString &programFolder);

} // namespace tv
