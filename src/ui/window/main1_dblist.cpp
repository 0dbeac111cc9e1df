// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the multi-database list of the 複数ＤＢ指定 tab.
#include "ui/main1.h"

#include "settings/dblist.h"
#include "settings/dirs.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"

#include <QFile>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qadora {

namespace {

const QString kListFileNotSetMessage = QStringLiteral("複数ＤＢ指定時の環境設定ﾌｧｲﾙ指定を行って下さい");

QListWidgetItem* selectedItem(const QListWidget* list)
{
    QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

} // namespace

void main1::envtxtwr()
{
    // Beside the database, not in the output folder, where it would be published with the site.
    const QString start = m_dbPath.isEmpty() ? QDir::currentPath() : QFileInfo(m_dbPath).absolutePath();
    const QString name = m_interaction->saveFileName(start, QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ|*.txt|All Files|*.*|"),
                                                     QStringLiteral("dbnames.txt"));
    if (name.isEmpty())
        return;
    if (isOrdinaryFile(name)) {
        if (!m_interaction->ask(QStringLiteral("ファイル上書き確認"),
                                QLatin1Char('\n') + name + QStringLiteral(" のファイルに上書きしますか？")))
            return;
        dirs::rwsettext(2, name);
        Label28->setText(name);
        return;
    }
    dirs::rwsettext(2, name);
    File1->refresh();
    Label28->setText(name);
}

void main1::listyomi()
{
    List11->clear();
    const QString path = Label28->text();
    if (!isOrdinaryFile(path)) {
        notice(QStringLiteral("複数ＤＢ指定時の環境設定ﾌｧｲﾙを指定して下さい"));
        return;
    }
    loadList(readListFile(path), path);
}

void main1::loadList(const ListFileContents& contents, const QString& path)
{
    List11->clear();
    List11->addItems(contents.items);
    m_listLoadedFrom = path;
    m_listLoadedBytes = contents.bytes;
}

bool main1::listFileWritable(const ListFileContents& contents, const QString& path)
{
    if (contents.exists && !contents.regular) {
        notice(QStringLiteral("通常のファイルではないため、書き込みできません") + QLatin1Char('\r') + path);
        return false;
    }
    if (contents.regular && !contents.readable) {
        notice(QStringLiteral("ファイルを読み込めませんでした") + QLatin1Char('\r') + path);
        return false;
    }
    // Written back, a file in another encoding would lose what it holds.
    if (!contents.clean) {
        notice(QStringLiteral("Shift_JISのテキストファイルではないため、書き込みできません") + QLatin1Char('\r') + path);
        return false;
    }
    return true;
}

bool main1::writeList(const QString& path, const QStringList& lines)
{
    QString error;
    if (!writeListFile(path, lines, &error)) {
        notice(QStringLiteral("ファイルに書き込めませんでした") + QLatin1Char('\r') + path + QLatin1Char('\r') + error);
        return false;
    }
    m_listLoadedFrom = path;
    m_listLoadedBytes = listFileBytes(lines);
    return true;
}

bool main1::listkaki()
{
    if (Text11->text().contains(QLatin1Char(','))) {
        notice(QStringLiteral(", の文字は使えません"));
        return true;
    }
    const QString entry = entryText(Text11->text(), Label30->text(), Text13->text(), Text14->text(), Label38->text());
    // The file is plain Shift_JIS text: a character it cannot hold would come back changed.
    if (const QString refusal = unwritableCharacterMessage(entry); !refusal.isEmpty()) {
        notice(refusal);
        return false;
    }
    const QString path = Label28->text();
    const ListFileContents contents = readListFile(path);
    List11->clear();
    if (!listFileWritable(contents, path)) {
        loadList(contents, path);
        return false;
    }
    // Read afresh: entries another window added since this one loaded the list stay.
    QStringList lines = contents.items;
    lines << entry;
    List11->addItems(lines);
    if (!writeList(path, lines))
        return false;
    notice(QStringLiteral("書込み完了"));
    return true;
}

void main1::Command21_Click()
{
    if (Label28->text().isEmpty()) {
        notice(kListFileNotSetMessage);
        return;
    }
    if (Label30->text().isEmpty() || Text11->text().isEmpty()) {
        notice(QStringLiteral("登録するＤＢ名とファイル名の両方を指定して下さい"));
        return;
    }
    // A double quote would end the entry early when the file is read back.
    for (const QString& field : {Text11->text(), Label30->text(), Text13->text(), Text14->text(), Label38->text()}) {
        if (field.contains(QLatin1Char('"'))) {
            notice(QStringLiteral("\" の文字は使えません"));
            return;
        }
    }
    // A registration the file could not take keeps what the user typed, to be mended.
    if (!listkaki())
        return;
    Label30->clear();
    Text11->clear();
    Text13->clear();
    Text14->clear();
}

void main1::Command22_Click()
{
    const QString name = m_interaction->saveFileName(QDir::currentPath(), QStringLiteral("mdbﾌｧｲﾙ|*.mdb|All Files|*.*|"),
                                                     QStringLiteral("hpdata1.mdb"));
    if (!name.isEmpty())
        Label30->setText(name);
}

void main1::Command23_Click()
{
    const QString path = Label28->text();
    if (path.isEmpty()) {
        notice(kListFileNotSetMessage);
        return;
    }
    // The line is gone from the file for good: Enter keeps it.
    const bool remove = m_interaction->ask(QStringLiteral("削除確認"), QStringLiteral("リストより削除します。よろしいですか。"),
                                           Interaction::Icon::None, true);
    // The list is written back whole: it must be the file as it is now, never an empty,
    // foreign or stale copy.
    const ListFileContents contents = readListFile(path);
    if (!listFileWritable(contents, path)) {
        loadList(contents, path);
        return;
    }
    if (m_listLoadedFrom != path) {
        loadList(contents, path);
    } else if (contents.bytes != m_listLoadedBytes) {
        loadList(contents, path);
        notice(QStringLiteral("ほかのウィンドウやプログラムがファイルを変更していたため、読み込み直しました。書き込みはしていません")
               + QLatin1Char('\r') + path);
        return;
    }
    if (remove) {
        if (QListWidgetItem* item = selectedItem(List11))
            delete item;
        else
            notice(QStringLiteral("リストの中から削除する行を選んでください"));
    }
    writeList(path, linesOf(List11));
}

void main1::sentakudb()
{
    QListWidgetItem* item = selectedItem(List11);
    if (!item) {
        notice(QStringLiteral("リストの中から変更するＤＢの行を選んで下さい"));
        return;
    }
    const DbEntry entry = splitEntry(item->text());
    if (entry.shape == DbEntry::NoComma) {
        notice(QStringLiteral("選択した行はＤＢの指定になっていません（半角カンマで区切られていません）"));
        return;
    }
    Text11->clear();
    Label30->clear();
    Text13->clear();
    Text14->clear();
    Label38->clear();
    if (entry.shape == DbEntry::Full) {
        // The folder first: the html tab shows what was remembered for it, and then the
        // entry's own return link over that.
        if (!entry.directory.isEmpty() && !setOutputDir(entry.directory)) {
            // The output directory stays; both labels show the one in use.
            Label36->setText(outputDir());
            Label38->setText(outputDir());
            notice(QStringLiteral("html作成Dirが見つかりません。現在のDirのままにします") + QLatin1Char('\r') + entry.directory);
        }
        Text13->setText(entry.address);
        Text12->setText(entry.address);
        Text14->setText(entry.label);
        Text10->setText(entry.label);
    }
    // A name relative to the entry's folder stays that file when another output folder (the
    // working directory) is chosen later, instead of naming a file of the same name there.
    m_dbPath = entry.database.isEmpty() ? QString() : QFileInfo(entry.database).absoluteFilePath();
    // An entry whose database is not there (a path a list file holds broken, a drive not
    // plugged in) becomes current for now, but never replaces a saved database that is.
    if (isOrdinaryFile(m_dbPath) || !isOrdinaryFile(databasePathFromSetting(dirs::rwpgmname(1))))
        dirs::rwpgmname(2, m_dbPath);
    else
        notice(QStringLiteral("データベースファイルが見つかりません。次回の起動時は前のデータベースを使います")
               + QLatin1Char('\r') + m_dbPath);
    Label1->setText(m_dbPath);
    Label30->setText(m_dbPath);
    followDatabase();
    Text11->setText(entry.title);
    Text15->setText(Text11->text());
}

void main1::connectSettings()
{
    connect(Command19, &QPushButton::clicked, this, &main1::envtxtwr);
    connect(Command20, &QPushButton::clicked, this, &main1::listyomi);
    connect(Command21, &QPushButton::clicked, this, &main1::Command21_Click);
    connect(Command22, &QPushButton::clicked, this, &main1::Command22_Click);
    connect(Command23, &QPushButton::clicked, this, &main1::Command23_Click);
    connect(Command24, &QPushButton::clicked, this, &main1::sentakudb);
    connect(List11, &QListWidget::itemDoubleClicked, this, &main1::sentakudb);
}

} // namespace qadora
