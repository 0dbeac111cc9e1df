// SPDX-License-Identifier: GPL-3.0-or-later
// A generation run: the page writers as the generation command uses them, the folder they
// write into, and the run of qadora-build as a whole.
#pragma once

#include "pagenames.h"
#include "pages.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

namespace qadora {

class PageFolder;

bool moreThanTwoCores();

struct WriteOutcome {
    enum Code {
        Written,
        Reported, // a message for the user; the run goes on (a malformed kind)
        Stopped,  // the page could not be written; the run ends without completion
    };
    Code code = Written;
    QString message;
};

struct RunStats {
    int written = 0;   // pages whose file was created or replaced
    int unchanged = 0; // pages whose file already held the same bytes, left alone
    int removed = 0;   // pages of earlier runs removed by pruning
};

// One run into one output folder. A page whose file already holds the same bytes is left
// alone (its time and inode stay, so upload tools see nothing new); a page never takes the
// name of another page of the same run. In the background mode the pages are written on a
// thread of their own, in batches, while the next ones are made.
class SiteRun {
public:
    enum class Mode { Direct, Background };
    explicit SiteRun(QString outDir, Mode mode = Mode::Direct);
    ~SiteRun();
    SiteRun(const SiteRun&) = delete;
    SiteRun& operator=(const SiteRun&) = delete;

    const QString& outDir() const { return m_outDir; }

    WriteOutcome qaPage(const PageStyle& style, const QString& fnum, const QString& atext, const QString& btext,
                        const QString& ctext);
    // Writes as much of the index page as the kinds allow; a malformed kind is Reported with
    // the kind appended to the message.
    WriteOutcome indexPage(const QString& indexName, const IndexSettings& settings, const QStringList& kinds);
    WriteOutcome subIndexPage(const QString& htm, const QString& tit, const QString& indexName,
                              const QStringList& questions, const QStringList& numbers, const PageStyle& style);

    // Before the record pages, the number of records the run will make them of: the modern
    // style's search index is then built as they are made. Making and writing the pages keep
    // two cores busy: the index has a thread of its own only where there are more, and is
    // otherwise built by the thread that makes the pages, which the writer keeps waiting.
    void expectRecords(int records, bool indexOnOwnThread = moreThanTwoCores())
    {
        m_expectedRecords = records;
        m_indexOnOwnThread = indexOnOwnThread;
    }
    // Once every record's page is made: the modern style's search index is built on another
    // core while the kinds' pages are made and written.
    void startSearchIndex();

    // The place of the next page or message in the run's order (background mode).
    int nextSequence() { return m_sequence++; }
    // Waits until every page handed over is on disk. False when a write failed: failure()
    // says why, failedAt() at which place of the order.
    bool finish();
    QString failure() const;
    int failedAt() const;

    RunStats stats() const;
    int pagesMade() const { return int(m_pages.size()); }

    // After a complete run: adds this run's pages to the folder's manifest; with `prune`,
    // first removes the pages that earlier runs wrote and this one did not.
    bool recordPages(bool prune, QString* error);
    // Once every page is handed over and the run is to complete, before finish(): what
    // recordPages() needs that the pages' writes do not decide (the manifest read, this run's
    // names listed, the modern style's other files written) is done while the writer still
    // has pages. recordPages() does the rest, or everything without this.
    void prepareRecord();

private:
    WriteOutcome put(const QString& fileName, const QByteArray& bytes);
    QString clash(const QString& fileName, const QString& indexName) const;
    struct Recording;
    // The modern style's files besides its pages (stylesheet, icon, search, sitemap), written
    // into the folder; then taken into the run's record and counts, or the first failure told.
    void writeModernFiles(Recording& r);
    bool takeModernFiles(Recording& r, QString* error);
    QList<std::pair<QString, QByteArray>> siteAddressFiles(QStringList pages) const; // the sitemap, robots.txt
    struct Modern;
    Modern& modernFor(const PageStyle& style);

    class Writer;
    QString m_outDir;
    std::unique_ptr<PageFolder> m_folder; // before the writer, which writes into it
    std::unique_ptr<Modern> m_modern; // what the modern style's pages told, for its other files
    std::unique_ptr<Writer> m_writer;
    std::unique_ptr<Recording> m_recording; // from prepareRecord()
    int m_sequence = 0;
    int m_expectedRecords = 0;
    bool m_indexOnOwnThread = true;
    QStringList m_pages;   // every page name of this run, in order
    PageNameClash m_names; // the same, as a case-insensitive file system tells them apart
    QSet<QString> m_qaPages;
    QSet<QString> m_qaPagesFolded; // the same, case-folded
    QHash<QString, std::pair<qint64, QByteArray>> m_sums; // each page's size and SHA-256
    RunStats m_direct;  // pages written in the direct mode
    int m_removed = 0;  // pages pruned
    RunStats m_extras;  // the modern style's other files
};

inline const QString kListFirstMessage = QStringLiteral("「データ表示」ボタンを押してデータを表示させて下さい");
inline const QString kIndexNameMissingMessage = QStringLiteral("indexファイル名を入れて下さい");
inline const QString kSiteDoneMessage = QStringLiteral("ｈｔｍｌ作成しました");
inline const QString kIndexNotWrittenMessage = QStringLiteral("indexファイル名がないため、サイトを作成しませんでした");

// What a modern page needs beside it to be seen as it will be, for a page previewed alone in
// `previewDir`: the stylesheet, the icon, and the owner's site.css of `siteDir` if it has one.
// Before the page is made, so that it links the owner's sheet.
bool writeModernPreviewFiles(const QString& previewDir, const QString& siteDir, QString* error);

// Where the record of the pages our runs wrote into `outDir` is kept, for pruning: a file
// per folder under ~/.local/share/qadora/manifests, never in the site itself.
QString manifestPath(const QString& outDir);
// The names of the pages that runs wrote into `outDir`, by its manifest.
QSet<QString> pagesWrittenInto(const QString& outDir);

// Everything the generation reads from the html tab.
struct SiteOptions {
    QString outDir;
    QString indexName = QStringLiteral("index.html");
    IndexSettings index{QString(), QStringLiteral("http://"), QString(), PageStyle{}};
    bool prune = false;
};

using MessageSink = std::function<void(const QString&)>;
// Pages made so far, of the pages the run will make (as far as known).
using ProgressSink = std::function<void(int done, int total)>;

struct SiteResult {
    bool complete = false;
    RunStats stats;
};

// The whole run for a script: lists all records first (as "データ表示" does), then writes
// every page as the window's "ＨＰ作成" does, from one snapshot of the store, telling `sink`
// every message in order. Complete after a run that wrote every page, the index included.
SiteResult generateSite(const QString& databasePath, const SiteOptions& options, const MessageSink& sink,
                        const ProgressSink& progress = {});

} // namespace qadora
