// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the "ＨＰ作成" command, its page writers and the output-directory tools.
#include "ui/main1.h"

#include "history/trash.h"
#include "site/pagefile.h"
#include "site/sitegeneration.h"
#include "store/kindstring.h"
#include "store/recordstore.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"
#include "views/listings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

namespace qadora {

namespace {

// Shows what a writer has to say; true while the run goes on.
bool report(const WriteOutcome& outcome, Interaction* interaction)
{
    if (outcome.code != WriteOutcome::Written)
        interaction->notice(outcome.message);
    return outcome.code != WriteOutcome::Stopped;
}

bool isHomeFolder(const QString& dir)
{
    return QFileInfo(dir).canonicalFilePath() == QFileInfo(QDir::homePath()).canonicalFilePath();
}

} // namespace

SiteRun& main1::siteRun()
{
    // A writer called on its own (outside "ＨＰ作成") writes in a run of its own.
    if (!m_run || m_run->outDir() != outputDir())
        m_run = std::make_unique<SiteRun>(outputDir());
    return *m_run;
}

bool main1::htmlmake(const QString& fnum, const QString& atext, const QString& btext, const QString& ctext)
{
    return report(siteRun().qaPage(pageStyle(), fnum, atext, btext, ctext), m_interaction);
}

bool main1::indhtml()
{
    if (Text8->text().isEmpty()) {
        notice(kIndexNameMissingMessage);
        return true;
    }
    dbdispk(Combo2);
    QStringList kinds;
    for (int i = 0; i < Combo2->count(); ++i)
        kinds << Combo2->itemText(i);
    if (m_progress)
        m_progress->setTotal(m_pagesMade + 1 + int(kinds.size()));
    const IndexSettings settings{Text15->text(), Text12->text(), Text10->text(), pageStyle()};
    return report(siteRun().indexPage(Text8->text(), settings, kinds), m_interaction) && pageMade();
}

bool main1::subhtml()
{
    if (Combo2->count() == 0)
        return true;
    // One walk lists every kind; List4, List5 and Label9 then take each kind's share in turn,
    // as a listing of that kind would fill them.
    const int n = countForListing();
    if (n <= 0)
        return true;
    const KindGroups groups = listByKind(m_dbPath, n);
    if (!groups.status.ok()) {
        notice(groups.status.message);
        return false;
    }
    for (int i = 0; i < Combo2->count(); ++i) {
        const QString kind = Combo2->itemText(i);
        const Listing listing = groups.byKind.value(kind);
        List4->clear();
        List4->addItems(listing.visible);
        List5->clear();
        List5->addItems(listing.companion);
        Label9->setText(QString::number(listing.matched));
        const KindParts parts = splitKind(kind);
        if (!parts.ok) {
            notice(kMalformedKindMessage);
            return true;
        }
        if (!subsubhtml(subIndexFileName(parts.name), parts.title) || !pageMade())
            return false;
    }
    return true;
}

bool main1::subsubhtml(const QString& htm, const QString& tit)
{
    QStringList questions;
    QStringList numbers;
    for (int i = 0; i < List4->count(); ++i)
        questions << List4->item(i)->text();
    for (int i = 0; i < List5->count(); ++i)
        numbers << List5->item(i)->text();
    return report(siteRun().subIndexPage(htm, tit, Text8->text(), questions, numbers, pageStyle()), m_interaction);
}

void main1::Command14_Click()
{
    if (buildSite(nullptr))
        notice(kSiteDoneMessage);
}

bool main1::buildSite(Progress* shared)
{
    Text13->setText(Text12->text());
    Text14->setText(Text10->text());
    if (List4->count() == 0) {
        notice(kListFirstMessage);
        return false;
    }
    if (!outputDirConfirmed())
        return false;
    const QStringList listed = linesOf(List4);
    const QString listedCount = Label9->text();

    // The settings the folder's site is built with are the ones it comes back with.
    rememberShownSiteSettings(true);
    // One snapshot of the store and one run into the folder for the whole command. Every
    // record of the snapshot gets its page, however old the listing: the index and sub-index
    // pages link to them all.
    ReadSnapshot snapshot(m_dbPath);
    QString countProblem; // said by the walk itself when the store cannot be read
    const int n = countRecords(m_dbPath, &countProblem);
    m_run = std::make_unique<SiteRun>(outputDir());
    std::unique_ptr<Progress> own;
    if (shared) {
        shared->setLabel(QStringLiteral("ページを作成しています…"));
        shared->setTotal(n + 1);
    } else {
        own = m_interaction->startProgress(QStringLiteral("ページを作成しています…"), n + 1);
    }
    m_progress = shared ? shared : own.get();
    m_pagesMade = 0;
    const bool complete = generatePages();
    m_progress = nullptr;
    // Closed before anything more is said: a finished box left on top would take the Enter
    // meant for the message. A progress given stays for the work that follows.
    own.reset();
    if (!complete) {
        // A stopped run leaves the listing the user made, not one kind's share of it.
        List4->clear();
        List4->addItems(listed);
        Label9->setText(listedCount);
        m_run.reset();
        File1->refresh();
        return false;
    }
    hyouji(List4, Label9);
    QString error;
    if (!m_run->recordPages(Check4->isChecked(), &error))
        notice(error);
    const RunStats stats = m_run->stats();
    m_run.reset();
    File1->refresh();
    statusBar()->showMessage(QStringLiteral("%L1 ページ中 %L2 ページを更新").arg(stats.written + stats.unchanged).arg(stats.written)
                             + (stats.removed > 0 ? QStringLiteral("、%L1 ページを削除").arg(stats.removed) : QString()));
    return true;
}

bool main1::pageMade()
{
    ++m_pagesMade;
    // Cancel stops the run as a failed write does: the pages so far are whole.
    return !m_progress || m_progress->advance(m_pagesMade);
}

bool main1::generatePages()
{
    StoreStatus status;
    auto store = openStore(m_dbPath, &status);
    bool goOn = true;
    if (store) {
        status = store->walk(WalkOptions{}, [&](const Record& r) {
            goOn = htmlmake(QString::number(r.no), r.quest, r.anser, r.kind) && pageMade();
            return goOn;
        });
    }
    if (!status.ok()) {
        notice(status.message);
        return false;
    }
    return goOn && indhtml() && subhtml();
}

bool main1::outputDirConfirmed()
{
    // Hundreds of pages among the user's own files are hard to tell apart again.
    if (!isHomeFolder(outputDir()))
        return true;
    return m_interaction->ask(QStringLiteral("作成先確認"), QStringLiteral("ホームフォルダに直接ページを作成します。よろしいですか？"),
                              Interaction::Icon::Warning, true);
}

void main1::browseDir_Click()
{
    const QString dir = m_interaction->directory(outputDir());
    if (!dir.isEmpty())
        setOutputDir(dir); // as a double-click on the folder list does
}

void main1::Command15_Click()
{
    const QString name = Text9->text();
    if (name.isEmpty()) {
        notice(QStringLiteral("下に作成するﾃﾞｨﾚｸﾄﾘ名を入れてください"));
        return;
    }
    QDir::setCurrent(outputDir());
    QString path = outputDir();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += name;
    // One level inside the output directory; an existing directory is simply entered, and a
    // name that cannot be made leaves the output directory as it was.
    if (const QString problem = directoryNameProblem(name); !problem.isEmpty()) {
        notice(problem);
        return;
    }
    QDir().mkdir(path);
    setOutputDir(path);
}

void main1::Command16_Click()
{
    const QString dir = outputDir();
    // The home folder holds the user's own files, never a site alone.
    if (isHomeFolder(dir)) {
        notice(QStringLiteral("ホームフォルダのファイルは削除できません。サイトを作成するフォルダを選んで下さい")
               + QLatin1Char('\r') + dir);
        return;
    }
    // The question is about the files there now, and Enter answers No.
    File1->refresh();
    if (!m_interaction->ask(QStringLiteral("全ファイル削除確認"),
                            dir + QLatin1Char('\r') + QStringLiteral("ディレクトリ中の全ファイルを削除します"),
                            Interaction::Icon::Warning, true))
        return;
    QDir::setCurrent(dir);
    // Files go to the trash. The open database (with the journals SQLite keeps beside it) and
    // the list file stay, whatever folder they are in.
    QHash<QString, QString> keep;
    if (!m_dbPath.isEmpty()) {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            keep.insert(m_dbPath + QLatin1String(suffix), QStringLiteral("使用中のデータベース"));
    }
    if (!Label28->text().isEmpty())
        keep.insert(Label28->text(), QStringLiteral("複数ＤＢ指定の環境設定ﾌｧｲﾙ"));
    const FolderEmptying result = emptyFolder(dir, linesOf(File1), keep);
    File1->refresh();
    statusBar()->showMessage(QStringLiteral("%L1 個のファイルをごみ箱に移しました").arg(result.trashed.size()));
    if (!result.kept.isEmpty()) {
        QStringList lines{QStringLiteral("次のファイルは削除していません")};
        for (const auto& [name, reason] : result.kept)
            lines << name + QStringLiteral("（") + reason + QStringLiteral("）");
        notice(lines.join(QLatin1Char('\r')));
    }
}

void main1::connectSite()
{
    connect(Command14, &QPushButton::clicked, this, &main1::Command14_Click);
    connect(Command15, &QPushButton::clicked, this, &main1::Command15_Click);
    connect(Command16, &QPushButton::clicked, this, &main1::Command16_Click);
}

} // namespace qadora
