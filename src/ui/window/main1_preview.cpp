// SPDX-License-Identifier: GPL-3.0-or-later
// main1: seeing pages before they are written into the output folder.
#include "ui/main1.h"

#include "editing/linebreaks.h"
#include "platform/platform.h"
#include "site/pages.h"
#include "site/sitegeneration.h"
#include "store/recordstore.h"
#include "ui/answerbox.h"
#include "ui/interaction.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>


namespace qadora {

namespace {

// Empties `dir` in place: a link is removed, never followed, and the folder itself stays, so
// its name is never free in the shared temporary folder for another account to take.
bool emptyInPlace(const QString& dir)
{
    bool emptied = true;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            emptied = QDir(entry.filePath()).removeRecursively() && emptied;
        else
            emptied = QFile::remove(entry.filePath()) && emptied;
    }
    return emptied;
}

// The folder QTemporaryDir made is still ours alone: a folder, not a link, of this user, 0700.
bool stillOurs(const QString& dir)
{
    return platform::isPrivateFolder(dir);
}

} // namespace

QString main1::previewFolder()
{
    // Only this preview's pages: none of a record deleted since the last one.
    if (m_previewDir && m_previewDir->isValid() && (!stillOurs(m_previewDir->path()) || !emptyInPlace(m_previewDir->path()))) {
        // Not to be trusted or not to be emptied: left as it is, and a new one made.
        m_previewDir->setAutoRemove(false);
        m_previewDir.reset();
    }
    if (!m_previewDir || !m_previewDir->isValid())
        m_previewDir = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("qadora-preview-XXXXXX")));
    if (!m_previewDir->isValid()) {
        notice(QStringLiteral("プレビュー用の一時フォルダーを作成できませんでした") + QLatin1Char('\r') + m_previewDir->errorString());
        return QString();
    }
    return m_previewDir->path();
}

void main1::showPreview(const QString& page)
{
    if (!m_interaction->openUrl(QUrl::fromLocalFile(page)))
        notice(QStringLiteral("ブラウザを起動できませんでした。ページは次の場所に作成しました") + QLatin1Char('\r') + page);
}

void main1::preview_Click()
{
    if (Text8->text().isEmpty()) {
        notice(kIndexNameMissingMessage);
        return;
    }
    const QString dir = previewFolder();
    if (dir.isEmpty())
        return;
    SiteOptions options;
    options.outDir = dir;
    options.indexName = Text8->text();
    options.index = IndexSettings{Text15->text(), Text12->text(), Text10->text(), pageStyle()};
    const std::unique_ptr<Progress> progress = m_interaction->startProgress(QStringLiteral("プレビューを作成しています…"), 0);
    const SiteResult result = generateSite(
        m_dbPath, options,
        [this](const QString& message) {
            if (message != kSiteDoneMessage)
                notice(message);
        },
        [&](int done, int total) {
            progress->setTotal(total);
            progress->advance(done);
        });
    // The folder is ours and goes at close; nothing needs to remember what was written there.
    QFile::remove(manifestPath(dir));
    const QString index = QDir(dir).filePath(Text8->text());
    if (result.complete || QFile::exists(index))
        showPreview(index);
}

void main1::previewRecord_Click()
{
    if (!m_changeLoaded) {
        notice(QStringLiteral("プレビューするデータを「③修正データの表示」で表示させて下さい"));
        return;
    }
    // The page the save would write: the record it changes, with the boxes as they are now.
    StoreStatus status;
    auto store = openStore(m_dbPath, &status);
    Record r;
    if (store)
        status = store->findFirstByQuestion(m_shownquest, &r);
    if (status.code == StoreStatus::NotFound) {
        notice(QStringLiteral("該当するデータが見つかりません。") + QLatin1Char('\r')
               + QStringLiteral("「①データ表示（質問）」を押して一覧を表示し直して下さい"));
        return;
    }
    if (!status.ok()) {
        notice(status.message);
        return;
    }
    const QString dir = previewFolder();
    if (dir.isEmpty())
        return;
    const QString answer = storedAnswer(Text5->parts(), Check1->isChecked());
    const QString fnum = QString::number(r.no);
    SiteRun run(dir);
    const WriteOutcome outcome = run.qaPage(pageStyle(), fnum, Text4->text(), answer, Text3->text());
    if (outcome.code != WriteOutcome::Written) {
        notice(outcome.message);
        return;
    }
    showPreview(QDir(dir).filePath(qaFileName(fnum)));
}

void main1::connectPreview()
{
    connect(preview, &QPushButton::clicked, this, &main1::preview_Click);
    connect(previewRecord, &QPushButton::clicked, this, &main1::previewRecord_Click);
}

} // namespace qadora
