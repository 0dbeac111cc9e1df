// SPDX-License-Identifier: GPL-3.0-or-later
// The page writers as the generation command uses them: each builds its page, writes it
// into the output directory and says whether the run goes on.
#pragma once

#include "pages.h"

#include <QString>

#include <functional>

namespace qadora {

struct WriteOutcome {
    enum Code {
        Written,
        Reported, // a message for the user; the run goes on (a malformed kind)
        Stopped,  // the page could not be written; the run ends without completion
    };
    Code code = Written;
    QString message;
};

// Where the page writers put a finished page; without one they write it at once.
class PageOutput {
public:
    virtual ~PageOutput() = default;
    // Written, or Stopped when the run must end.
    virtual WriteOutcome put(const QString& path, QByteArray bytes) = 0;
};

WriteOutcome writeQaPage(const QString& outDir, const PageStyle& style, const QString& fnum, const QString& atext,
                         const QString& btext, const QString& ctext, PageOutput* output = nullptr);

// Writes as much of the index page as the kinds allow; a malformed kind is Reported with
// the kind appended to the message.
WriteOutcome writeIndexPage(const QString& outDir, const QString& indexName, const IndexSettings& settings,
                            const QStringList& kinds, PageOutput* output = nullptr);

WriteOutcome writeSubIndexPage(const QString& outDir, const QString& htm, const QString& tit,
                               const QString& indexName, const QStringList& questions, const QStringList& numbers,
                               const PageStyle& style, PageOutput* output = nullptr);

inline const QString kListFirstMessage = QStringLiteral("「データ表示」ボタンを押してデータを表示させて下さい");
inline const QString kIndexNameMissingMessage = QStringLiteral("indexファイル名を入れて下さい");
inline const QString kSiteDoneMessage = QStringLiteral("ｈｔｍｌ作成しました");

// Everything the generation reads from the html tab.
struct SiteOptions {
    QString outDir;
    QString indexName = QStringLiteral("index.html");
    IndexSettings index{QString(), QStringLiteral("http://"), QString(), PageStyle{}};
};

using MessageSink = std::function<void(const QString&)>;

// The whole run for a script: lists all records first (as "データ表示" does), then writes
// every page as the window's "ＨＰ作成" does, telling `sink` every message in order.
// True after a complete run; false when it was refused or stopped by a failure.
bool generateSite(const QString& databasePath, const SiteOptions& options, const MessageSink& sink);

} // namespace qadora
