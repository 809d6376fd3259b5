#pragma once

#include "core/tftp/FileStore.h"

namespace quorvane::tftp {

// Regular files directly in one folder, opened read-only. A name matches its
// file ignoring ASCII letter case; an exact match wins, and among names that
// differ only in case the first in sorted order is taken.
class FolderFileStore final : public FileStore {
public:
    explicit FolderFileStore(QString folder);
    OpenResult open(const QString& name) override;

    // The folder's file for `name`, or an empty text when there is none.
    QString resolve(const QString& name) const;

private:
    QString m_folder;
};

} // namespace quorvane::tftp
