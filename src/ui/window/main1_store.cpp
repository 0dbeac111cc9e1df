// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the record count and the ファイル menu's database entries.
#include "ui/main1.h"

#include "history/backups.h"
#include "history/trash.h"
#include "settings/dirs.h"
#include "store/recordstore.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

namespace qadora {

int main1::kensu()
{
    QString message;
    const int n = countRecords(m_dbPath, &message);
    if (!message.isEmpty())
        notice(message);
    return n;
}

void main1::dsakusei()
{
    createDatabase(m_dbPath);
}

void main1::dbmake_Click()
{
    const QString name = m_interaction->saveFileName(QDir::currentPath(), QStringLiteral("ｱｸｾｽmdbﾌｧｲﾙ|*.mdb|All Files|*.*|"),
                                                     QStringLiteral("hpdata1.mdb"));
    if (name.isEmpty())
        return;
    auto adopt = [&] {
        m_dbPath = name;
        dirs::rwpgmname(2, m_dbPath);
        Label1->setText(m_dbPath);
        followDatabase();
    };
    bool replaced = false;
    if (isOrdinaryFile(name)) {
        // Yes empties a database: Enter must not.
        const bool overwrite = m_interaction->ask(
            QStringLiteral("ファイル上書き確認"),
            QLatin1Char('\n') + name + QStringLiteral(" のファイルに上書きしますか？") + QLatin1Char('\n')
                + QStringLiteral("（「いいえ」を指定するとファイル設定のみを行う）"),
            Interaction::Icon::Warning, true);
        if (!overwrite) {
            adopt();
            return;
        }
        // The old file is never deleted: it is copied with the database's backups (when this
        // session has not yet), then moved to the trash, or where there is none, beside itself.
        QString error;
        m_backups->beforeFirstChange(name, &error);
        const SetAside aside = setAside(name);
        if (!aside.ok) {
            notice(QStringLiteral("元のファイルを移動できなかったため、上書きしていません") + QLatin1Char('\r') + name
                   + QLatin1Char('\r') + aside.error);
            adopt();
            return;
        }
        statusBar()->showMessage(aside.trashed ? QStringLiteral("元のファイルはごみ箱に移しました")
                                               : QStringLiteral("元のファイルは次の名前で残しました：") + aside.where);
        replaced = true;
    }
    Label1->setText(name);
    if (name.size() > 3) {
        m_dbPath = name;
        // Failures here are silent: the record operations report an unusable file. Nothing is
        // removed first: whatever still has the name makes the creation fail.
        dsakusei();
        File1->refresh();
        if (replaced)
            forgetHistory(name);
        followDatabase();
    }
    dirs::rwpgmname(2, m_dbPath);
}

void main1::dbdel_Click()
{
    const QString name = Label1->text();
    if (isOrdinaryFile(name)) {
        const bool clear = m_interaction->ask(QStringLiteral("ファイル設定削除確認"),
                                              QStringLiteral("データベース設定名をクリアします") + QLatin1Char('\n')
                                                  + name + QLatin1Char('\n') + QStringLiteral("よろしいですか？"));
        if (clear) {
            dirs::rwpgmname(2, QString());
            File1->refresh();
            Label1->setText(QString());
            m_dbPath.clear();
            followDatabase();
        }
        return;
    }
    dirs::rwpgmname(2, QString());
    notice(QStringLiteral("データベースファイルがありません"));
}

} // namespace qadora
