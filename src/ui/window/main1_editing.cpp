// SPDX-License-Identifier: GPL-3.0-or-later
// main1: data entry, record modification and record deletion.
#include "ui/main1.h"

#include "editing/linebreaks.h"
#include "store/conversion.h"
#include "store/recordstore.h"
#include "ui/answerbox.h"
#include "ui/interaction.h"
#include "views/listings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qadora {

namespace {

// "データの追加「…」": the step of the history, named by the question's first 30 characters.
QString stepText(const QString& what, const QString& quest)
{
    QString shown = markLineBreaks(quest);
    if (shown.size() > 30)
        shown = shown.left(29) + QChar(0x2026);
    return what + QStringLiteral("「") + shown + QStringLiteral("」");
}

const QString kNotFoundMessage = QStringLiteral("該当するデータが見つかりません。") + QLatin1Char('\r')
    + QStringLiteral("「①データ表示（質問）」を押して一覧を表示し直して下さい");

// The store of the current database, or nullptr after telling the user why not.
std::unique_ptr<RecordStore> storeFor(const QString& path, Interaction* interaction)
{
    if (path.isEmpty()) {
        interaction->notice(kNoDatabaseMessage);
        return nullptr;
    }
    StoreStatus status;
    auto store = openStore(path, &status);
    if (!store)
        interaction->notice(status.message);
    return store;
}

// Tells the user why a change or a deletion did not happen; true when it did.
bool reportChange(const StoreStatus& status, Interaction* interaction)
{
    if (status.code == StoreStatus::NotFound)
        interaction->notice(kNotFoundMessage);
    else if (!status.ok())
        interaction->notice(status.message);
    return status.ok();
}

} // namespace

std::unique_ptr<RecordStore> main1::storeForWriting(BackupReason reason)
{
    auto store = storeFor(m_dbPath, m_interaction);
    if (!store)
        return store;
    if (!store->isReadOnly())
        return backUpBeforeChange(m_dbPath, reason) ? std::move(store) : nullptr;
    // An Access file is changed only after it has become a store of ours, with the user's leave.
    const QString backup = backupPathFor(m_dbPath);
    // Records damage kept from being read would not be in the converted file: the user is
    // told how many, and the question leans to No.
    const int lost = store->unreadableRecords();
    const QString loss = lost > 0 ? QStringLiteral("このファイルは一部が壊れているため、%1 件のデータを読み込めません。"
                                                   "変換するとそのデータは失われます。")
                                            .arg(lost)
                                        + QLatin1Char('\n')
                                  : QString();
    const bool convert = m_interaction->ask(
        QStringLiteral("データベース変換確認"),
        QLatin1Char('\n') + m_dbPath + QLatin1Char('\n') + QStringLiteral("はアクセス形式（mdb）のデータベースです。")
            + QLatin1Char('\n') + QStringLiteral("データを変更するには、Qadoraの形式に変換する必要があります。")
            + QLatin1Char('\n') + loss + QStringLiteral("元のファイルは") + QLatin1Char('\n') + backup + QLatin1Char('\n')
            + QStringLiteral("として残します。変換しますか？"),
        Interaction::Icon::Warning, lost > 0);
    if (!convert) {
        notice(QStringLiteral("変換しなかったため、データは変更されていません"));
        return nullptr;
    }
    if (!backUpBeforeChange(m_dbPath, reason))
        return nullptr;
    const std::unique_ptr<Progress> progress = m_interaction->startProgress(QStringLiteral("データベースを変換しています…"), 0);
    const ConversionResult result = convertAccessDatabase(m_dbPath, backup, [&](int done, int total) {
        progress->setTotal(total);
        return progress->advance(done);
    });
    if (result.cancelled) {
        notice(QStringLiteral("変換しなかったため、データは変更されていません"));
        return nullptr;
    }
    if (!result.ok) {
        notice(result.message);
        return nullptr;
    }
    return storeFor(m_dbPath, m_interaction);
}

bool main1::loadedFromCurrent(const QString& database)
{
    // A record shown before another database was chosen would change that database's record
    // of the same question; the boxes stay for the user to go back to the database they came from.
    if (database.isEmpty() || database == m_dbPath)
        return true;
    notice(QStringLiteral("表示しているデータは別のデータベースのものです。") + QLatin1Char('\r')
           + QStringLiteral("次のデータベースに切り替えてから、もう一度実行して下さい") + QLatin1Char('\r') + database);
    return false;
}

QString main1::brplus(const QString& aaa) const
{
    return qadora::brplus(aaa, Check1->isChecked());
}

QString main1::brhiku(const QString& aaa) const
{
    return qadora::brhiku(aaa, Check1->isChecked());
}

QString main1::answerText() const
{
    return storedAnswer(rtext1->parts(), false);
}

bool main1::dtuika()
{
    if (m_dbPath.isEmpty()) {
        notice(kNoDatabaseMessage);
        return true; // the add command still refreshes and empties the boxes
    }
    auto store = storeForWriting();
    if (!store)
        return false;
    const Record values{0, Combo1->currentText(), Text1->text(), brplus(answerText())};
    RecordChange done;
    const StoreStatus status = store->add(values, &done);
    if (!status.ok()) {
        notice(status.message);
        return false;
    }
    recordUndoable({done}, stepText(QStringLiteral("データの追加"), values.quest));
    return true;
}

void main1::Command3_Click()
{
    const QString answer = answerText();
    if (Text1->text().isEmpty() || answer.isEmpty()) {
        notice(QStringLiteral("データが入力されていません"));
        return;
    }
    if (!Combo1->currentText().contains(QLatin1Char(','))) {
        notice(QStringLiteral("ファイル名,種類　のフォーマットで種類を入れて下さい(右の例参照)"));
        return;
    }
    // A value too long for its column is refused before anything else, so the boxes keep
    // what the user typed.
    if (const StoreStatus lengths = checkLengths({0, Combo1->currentText(), Text1->text(), QString()}); !lengths.ok()) {
        notice(lengths.message);
        return;
    }
    // When the store refuses the record, the boxes keep what the user typed.
    if (!dtuika())
        return;
    Command4_Click();
    m_interaction->setClipboardText(joinedAnswer(rtext1->parts(), QStringLiteral("\n")));
    // setText, not clear(): emptying the box is no typing of the user's, so Ctrl+Z in it
    // takes back the add rather than refilling the box.
    Text1->setText(QString());
    rtext1->clear();
    Text1->setFocus();
}

void main1::Command4_Click()
{
    dbdisps(Label6, List1);
}

void main1::Command12_Click()
{
    dbdispk(Combo1);
}

void main1::Command26_Click()
{
    Label26->setText(QLatin1Char(' ') + QString::number(byteCount(answerText())));
}

void main1::dbdisp(QListWidget* alist, QLineEdit* atext, QLineEdit* btext, AnswerBox* ctext,
                   QPushButton* dcomm)
{
    const ReadSnapshot snapshot(m_dbPath);
    if (countForListing() <= 0)
        return;
    QListWidgetItem* selected = alist->currentItem();
    if (!selected || !selected->isSelected()) {
        notice(QStringLiteral("表示したい行をリストにて選択して下さい"));
        return;
    }
    auto store = storeFor(m_dbPath, m_interaction);
    if (!store)
        return;
    Record r;
    if (!reportChange(store->findFirstByQuestion(selected->text(), &r), m_interaction))
        return;
    atext->setText(r.kind);
    btext->setText(r.quest);
    // brhiku, with every stored line break remembered as it was stored.
    ctext->setParts(answerParts(r.anser, Check1->isChecked()));
    if (alist == List3) {
        m_shownquest = btext->text();
        m_changeLoaded = true;
    }
    (alist == List3 ? m_changeLoadedNo : m_deleteLoadedNo) = r.no;
    if (alist == List2)
        m_deleteLoadedQuest = r.quest;
    (alist == List3 ? m_changeLoadedFrom : m_deleteLoadedFrom) = m_dbPath;
    dcomm->setFocus();
}

void main1::Command2_Click()
{
    hyouji(List3, Label13);
}

void main1::Command25_Click()
{
    dbdispl(List12);
}

void main1::Command9_Click()
{
    dbdisp(List3, Text3, Text4, Text5, Command10);
}

void main1::Command10_Click()
{
    if (m_dbPath.isEmpty()) {
        notice(kNoDatabaseMessage);
        return;
    }
    // After a save or "変更しません" nothing is loaded; writing the empty boxes into the record
    // last loaded would wipe it.
    if (!m_changeLoaded) {
        notice(QStringLiteral("変更するデータを「③修正データの表示」で表示させて下さい"));
        return;
    }
    if (!loadedFromCurrent(m_changeLoadedFrom))
        return;
    auto store = storeForWriting();
    if (!store)
        return;
    // brplus: lone CR, LF and other breaks go back as they were stored.
    const Record values{0, Text3->text(), Text4->text(), storedAnswer(Text5->parts(), Check1->isChecked())};
    RecordChange done;
    if (!reportChange(store->updateFirstByQuestion(m_shownquest, values, &done, m_changeLoadedNo), m_interaction))
        return;
    if (done.before != done.after)
        recordUndoable({done}, stepText(QStringLiteral("データの変更"), done.before->quest));
    hyouji(List3, Label13);
    Command11_Click();
    notice(QStringLiteral("データを変更しました"));
}

void main1::Command11_Click()
{
    m_changeLoaded = false;
    Text3->setText(QString());
    Text4->setText(QString());
    Text5->clear();
}

void main1::Command5_Click()
{
    hyouji(List2, Label7);
}

void main1::Command6_Click()
{
    dbdisp(List2, Text6, Text7, Text2, Command7);
}

void main1::Command7_Click()
{
    if (Text7->text().isEmpty()) {
        notice(QStringLiteral("削除したいデータを表示させて下さい"));
        return;
    }
    if (!loadedFromCurrent(m_deleteLoadedFrom))
        return;
    auto store = storeForWriting();
    if (!store)
        return;
    // A question typed over the shown one names its record by text alone.
    const qint64 shown = Text7->text() == m_deleteLoadedQuest ? m_deleteLoadedNo : 0;
    RecordChange done;
    if (!reportChange(store->removeFirstByQuestion(Text7->text(), &done, shown), m_interaction))
        return;
    recordUndoable({done}, stepText(QStringLiteral("データの削除"), done.before->quest));
    hyouji(List2, Label7);
    Command8_Click();
    notice(QStringLiteral("削除しました"));
}

void main1::Command8_Click()
{
    m_deleteLoadedNo = 0;
    Text6->setText(QString());
    Text7->setText(QString());
    Text2->clear();
}

void main1::connectEditing()
{
    connect(Command3, &QPushButton::clicked, this, &main1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &main1::Command4_Click);
    connect(Command12, &QPushButton::clicked, this, &main1::Command12_Click);
    connect(Command26, &QPushButton::clicked, this, &main1::Command26_Click);
    connect(Command2, &QPushButton::clicked, this, &main1::Command2_Click);
    connect(Command25, &QPushButton::clicked, this, &main1::Command25_Click);
    connect(Command9, &QPushButton::clicked, this, &main1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &main1::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &main1::Command11_Click);
    connect(Command5, &QPushButton::clicked, this, &main1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &main1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &main1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &main1::Command8_Click);
}

} // namespace qadora
