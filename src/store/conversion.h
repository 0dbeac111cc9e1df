// SPDX-License-Identifier: GPL-3.0-or-later
// Converting an Access (.mdb) Q&A database into a store of ours at the same path, keeping
// the original beside it.
#pragma once

#include <QString>

#include <functional>

namespace qadora {

// "<dir>/<name>_backup.mdb", or "_backup2", "_backup3" … : the first name no file has.
QString backupPathFor(const QString& path);

struct ConversionResult {
    bool ok = false;
    bool cancelled = false; // the user stopped it; nothing was changed
    QString message;        // why it failed; nothing was changed then
};

// Told the records done of the records to do (0 of 0 while the file is read); false stops.
using ConversionTick = std::function<bool(int done, int total)>;

// Reads every record of the Access file, writes them with the same numbers into a new store
// beside it, checks the copy record by record, keeps the original as `backupPath` and puts
// the new store at `path`.
ConversionResult convertAccessDatabase(const QString& path, const QString& backupPath, const ConversionTick& tick = {});

} // namespace qadora
