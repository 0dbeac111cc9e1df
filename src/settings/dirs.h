// SPDX-License-Identifier: GPL-3.0-or-later
// The persisted settings: per user, application "Qadora", group "startup".
#pragma once

#include <QString>
#include <QVariant>

namespace dirs {

// Mode 1 reads ("" when absent); any other mode saves `value` and returns "".
QString rwfirstdir(int mode, const QString& value = QString());
QString rwpgmname(int mode, const QString& value = QString());
QString rwsettext(int mode, const QString& value = QString());

// The current user's Desktop folder; the home folder when there is none.
QString getdesktop();

} // namespace dirs

namespace qadora {

// A setting as text. A value written by hand without quotes and holding commas is read by
// QSettings as a list; the setting is the line as written.
QString settingText(const QVariant& value);

// The database path held in a stored pgmname2: a value with a half-width comma is a
// comma-separated line whose second field is the path.
QString databasePathFromSetting(const QString& stored);

// True when `path` names an ordinary file: it exists, is a regular file (a link counts by
// its target), and can be read.
bool isOrdinaryFile(const QString& path);

// The kind-format guide of the entry tab, lines joined by CR alone.
QString kindFormatGuide();

inline const QString kNoDatabaseAtStartMessage = QStringLiteral("メニューバーの「ファイル」「データベースの設定」を選択し")
    + QLatin1Char('\r') + QStringLiteral("データベースを作成して下さい");

} // namespace qadora
