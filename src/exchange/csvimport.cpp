// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvimport.h"

#include "importplanner.h"
#include "store/kindstring.h"
#include "store/wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace qadora::csv {

using namespace detail;

namespace {

constexpr qint64 kMaxImportBytes = qint64(256) << 20;

const QString kNoHeaderMessage = QStringLiteral("最初の %1 行に見出し（種類・質問・回答の列の名前）がありません").arg(kHeaderRows)
    + QLatin1Char('\r')
    + QStringLiteral("見出しの名前：番号（No）、種類（カテゴリ・分類・kind）、質問（Q・quest）、回答（答え・A・anser）");

} // namespace

int columnNamed(const QString& cell)
{
    static const QList<QStringList> names = {
        {QStringLiteral("番号"), QStringLiteral("no"), QStringLiteral("id"), QStringLiteral("no.")},
        {QStringLiteral("種類"), QStringLiteral("カテゴリ"), QStringLiteral("カテゴリー"), QStringLiteral("分類"),
         QStringLiteral("category"), QStringLiteral("kind")},
        {QStringLiteral("質問"), QStringLiteral("q"), QStringLiteral("question"), QStringLiteral("quest")},
        {QStringLiteral("回答"), QStringLiteral("答え"), QStringLiteral("答"), QStringLiteral("a"), QStringLiteral("answer"),
         QStringLiteral("anser")},
    };
    // Full-width letters and half-width katakana are the same names.
    const QString name = cell.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded();
    for (int c = 0; c < ColumnCount; ++c) {
        if (names[c].contains(name))
            return c;
    }
    return kIgnored;
}

StoreStatus readExisting(const QString& database, ExistingRecords* out)
{
    *out = {};
    const ReadSnapshot snapshot(database);
    StoreStatus status;
    auto store = openStore(database, &status);
    if (!store)
        return status;
    WalkOptions withoutAnswers;
    withoutAnswers.withAnswer = false;
    status = store->walk(withoutAnswers, [&](const Record& r) {
        if (!out->questions.contains(r.quest)) // walked in ascending No
            out->questions.insert(r.quest, r.no);
        out->numbers.insert(r.no);
        if (const KindParts parts = splitKind(r.kind); parts.ok) {
            out->pageNames.insert(parts.name);
            if (!out->titlePages.contains(parts.title))
                out->titlePages.insert(parts.title, parts.name);
        }
        return true;
    });
    if (!status.ok())
        return status;
    return store->highestNumberGiven(&out->highestGiven);
}

bool isWorkbookFile(const QByteArray& bytes)
{
    return workbook::formatOf(bytes) != workbook::Format::None || bytes.startsWith("PK\x03\x04");
}

ImportPlan planSheetImport(const workbook::Sheet& sheet, const ImportOptions& options, const ExistingRecords& existing)
{
    ImportPlan plan;
    plan.workbook = true;
    plan.encoding = Encoding::Utf8;
    plan.sheets = sheet.names;
    plan.sheet = sheet.name;
    if (!sheet.error.isEmpty()) {
        plan.fatal = sheet.error;
        return plan;
    }
    SheetRows rows(sheet);
    Planner planner(options, existing, false);
    QString problem;
    if (!planner.findHeader(rows, plan, &problem)) {
        plan.fatal = sheet.rows.isEmpty() ? QStringLiteral("シート「%1」にデータがありません").arg(sheet.name)
            : problem.contains(QStringLiteral("二つ")) || !options.columns.isEmpty() ? problem
                                                                                     : kNoHeaderMessage;
        return plan;
    }
    plan.numbered = plan.columns.contains(NoColumn);
    planner.run(rows, plan);
    return plan;
}

ImportPlan planImport(const QByteArray& file, const ImportOptions& options, const ExistingRecords& existing)
{
    ImportPlan plan;
    // A zip archive is taken for a workbook: one that is none is refused as such, not read as text.
    if (isWorkbookFile(file)) {
        return planSheetImport(workbook::readSheet(file, options.sheet), options, existing);
    }
    // Excel's "Unicode text" is UTF-16 with a BOM: it is read as the same text in UTF-8.
    plan.utf16 = file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF");
    QByteArray utf8;
    if (plan.utf16) {
        if (file.size() % 2 != 0) {
            plan.fatal = QStringLiteral("UTF-16 のファイルの長さが奇数のため読み込めません（最後の 1 バイトが半端です）");
            return plan;
        }
        QStringDecoder decoder(file.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QString text = decoder.decode(QByteArrayView(file).sliced(2));
        if (decoder.hasError() || !text.isValidUtf16()) {
            plan.fatal = QStringLiteral("UTF-16 として読めない文字があります");
            return plan;
        }
        utf8 = "\xEF\xBB\xBF" + text.toUtf8();
    }
    const QByteArray& bytes = plan.utf16 ? utf8 : file;
    plan.encoding = hasBom(bytes) ? Encoding::Utf8 : options.encoding.value_or(guessEncoding(bytes));
    ImportOptions effective = options;
    effective.encoding = plan.encoding;
    if (RowReader(bytes, options.separator).atEnd()) {
        plan.fatal = QStringLiteral("ファイルにデータがありません");
        return plan;
    }
    // The header tells the separator: the rest is read once, a row at a time.
    QString problem;
    for (const Separator separator : {options.separator, options.separator == Separator::Comma ? Separator::Tab : Separator::Comma}) {
        ImportPlan attempt = plan;
        attempt.separator = separator;
        CsvRows rows(bytes, separator, plan.encoding);
        Planner planner(effective, existing, true);
        QString why;
        if (!planner.findHeader(rows, attempt, &why)) {
            if (problem.isEmpty())
                problem = why;
            continue;
        }
        attempt.numbered = attempt.columns.contains(NoColumn);
        planner.run(rows, attempt);
        return attempt;
    }
    plan.fatal = problem.contains(QStringLiteral("二つ")) || problem.contains(QStringLiteral("壊れて")) || !options.columns.isEmpty()
        ? problem
        : kNoHeaderMessage;
    return plan;
}

bool readImportFile(const QString& path, QByteArray* bytes, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("ファイルがありません") + QLatin1Char('\r') + path;
        return false;
    }
    // A FIFO or a device would never end.
    if (!info.isFile()) {
        *error = QStringLiteral("通常のファイルではないため読み込めません") + QLatin1Char('\r') + path;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("ファイルを読み込めません") + QLatin1Char('\r') + path + QLatin1Char('\r') + file.errorString();
        return false;
    }
    // The file is held whole while the preview is open; an image or an archive chosen by
    // mistake must not take the memory. 100,000 records with long answers fit many times over.
    // The size the file reports is not trusted: /proc files say 0 and never end.
    const WholeRead read = file.size() > kMaxImportBytes ? WholeRead::TooLarge : readAtMost(file, kMaxImportBytes, bytes);
    if (read == WholeRead::TooLarge) {
        *error = QStringLiteral("ファイルが大きすぎるため読み込めません（%1 MB まで）").arg(kMaxImportBytes >> 20)
            + QLatin1Char('\r') + path;
        return false;
    }
    if (read == WholeRead::Failed) {
        *error = QStringLiteral("ファイルを読み込めません") + QLatin1Char('\r') + path + QLatin1Char('\r') + file.errorString();
        return false;
    }
    return true;
}

} // namespace qadora::csv
