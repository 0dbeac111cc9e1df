// SPDX-License-Identifier: GPL-3.0-or-later
#include "dirs.h"

#include "settings/appsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace dirs {

namespace {

QString readOrWrite(const char* key, int mode, const QString& value)
{
    QSettings settings = qadora::openSettings();
    settings.beginGroup(QStringLiteral("startup"));
    if (mode == 1)
        return qadora::settingText(settings.value(QLatin1String(key)));
    settings.setValue(QLatin1String(key), value);
    return QString();
}

} // namespace

QString rwfirstdir(int mode, const QString& value)
{
    return readOrWrite("firstdir", mode, value);
}

QString rwpgmname(int mode, const QString& value)
{
    return readOrWrite("pgmname2", mode, value);
}

QString rwsettext(int mode, const QString& value)
{
    return readOrWrite("settext2", mode, value);
}

QString getdesktop()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    return QDir::homePath();
}

} // namespace dirs

namespace qadora {

QString settingText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QString databasePathFromSetting(const QString& stored)
{
    const qsizetype first = stored.indexOf(QLatin1Char(','));
    if (first < 0)
        return stored;
    const QString rest = stored.mid(first + 1);
    const qsizetype second = rest.indexOf(QLatin1Char(','));
    return second < 0 ? rest : rest.left(second);
}

bool isOrdinaryFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    // A name that starts with "." is an ordinary file on this system; a link counts by what
    // it points to.
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

QString kindFormatGuide()
{
    return QStringList{
        QStringLiteral("ﾌｫｰﾏｯﾄ:"),
        QStringLiteral("　subindexﾌｧｲﾙ名 　半角ｶﾝﾏ　 subindexﾀｲﾄﾙ名"),
        QStringLiteral("　subindexﾌｧｲﾙ名 = 英数字半角8文字以内"),
        QStringLiteral("例："),
        QStringLiteral("　sub100,初級編"),
    }
        .join(QLatin1Char('\r'));
}

} // namespace qadora
