// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the record count and the ファイル menu's database entries.
#include "ui/main1.h"

#include "settings/dirs.h"
#include "store/recordstore.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

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
    if (isOrdinaryFile(name)) {
        const bool overwrite = m_interaction->ask(
            QStringLiteral("ファイル上書き確認"),
            QLatin1Char('\n') + name + QStringLiteral(" のファイルに上書きしますか？") + QLatin1Char('\n')
                + QStringLiteral("（「いいえ」を指定するとファイル設定のみを行う）"));
        if (!overwrite) {
            m_dbPath = name;
            dirs::rwpgmname(2, m_dbPath);
            Label1->setText(m_dbPath);
            return;
        }
    }
    Label1->setText(name);
    if (name.size() > 3) {
        m_dbPath = name;
        // Failures here are silent: the record operations report an unusable file.
        QFile::remove(name);
        dsakusei();
        File1->refresh();
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
        }
        return;
    }
    dirs::rwpgmname(2, QString());
    notice(QStringLiteral("データベースファイルがありません"));
}

} // namespace qadora
