// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvexport.h"

#include "site/cp932.h"
#include "site/pagefile.h"
#include "store/recordstore.h"
#include "store/wholefile.h"
#include "workbook/workbookwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace qadora::csv {

namespace {

const QString kFieldNames[] = {QStringLiteral("種類"), QStringLiteral("質問"), QStringLiteral("答え")};

// The first character of `text` the encoding has no code for, or -1.
qint64 withoutCode(const QString& text, Encoding encoding)
{
    if (encoding == Encoding::ShiftJis)
        return cp932::firstWithoutCode(text);
    // UTF-8 holds every character; only half of a surrogate pair is none.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return c.unicode();
    }
    return -1;
}

// The record and the field (0 kind, 1 question, 2 answer) a message names.
QString fieldOf(const Record& r, int field)
{
    return field == 1 ? QStringLiteral("No.%1 の質問「%2」").arg(r.no).arg(r.quest)
                      : QStringLiteral("No.%1「%2」の%3").arg(r.no).arg(r.quest, kFieldNames[field]);
}

QString notInEncodingMessage(const Record& r, int field, qint64 character, Encoding encoding)
{
    const QString where = fieldOf(r, field);
    const QString name = encoding == Encoding::ShiftJis ? QStringLiteral("Shift_JIS") : QStringLiteral("UTF-8");
    return QStringLiteral("%1 にない文字 %2 があるため、書き出せませんでした").arg(name, cp932::describeCharacter(char32_t(character)))
        + QLatin1Char('\r') + where;
}

// Counts a record written; false when the user stopped the export.
bool counted(ExportResult& result, const ExportTick& tick)
{
    ++result.records;
    if (tick && result.records % 1024 == 0 && !tick(result.records)) {
        result.cancelled = true;
        return false;
    }
    return true;
}

// The records as an Excel workbook, written into `file` as a whole once every record is in.
void exportWorkbook(RecordStore& store, const QString& file, const ExportOptions& options, const ExportTick& tick,
                    ExportResult& result)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        result.message = QStringLiteral("一時フォルダを作成できませんでした") + QLatin1Char('\r') + dir.errorString();
        return;
    }
    const QString temporary = dir.filePath(QStringLiteral("export.xlsx"));
    {
        workbook::XlsxWriter writer(temporary, QStringLiteral("Q&A"), options.japaneseHeader ? kJapaneseColumns : kColumns);
        const StoreStatus status = store.walk({}, [&](const Record& r) {
            // Line breaks as spreadsheets keep them; no apostrophe: a text cell stays text.
            int column = -1;
            const QString problem = writer.addRow({QString::number(r.no), toCell(r.kind, false), toCell(r.quest, false),
                                                   toCell(r.anser, false)},
                                                  &column);
            if (!problem.isEmpty()) {
                result.message = column > 0 ? problem + QLatin1Char('\r') + fieldOf(r, column - 1)
                                            : QStringLiteral("No.%1「%2」を書き出せませんでした").arg(r.no).arg(r.quest) + QLatin1Char('\r') + problem;
                return false;
            }
            return counted(result, tick);
        });
        if (!status.ok())
            result.message = status.message;
        if (!result.message.isEmpty() || result.cancelled)
            return;
        if (const QString failed = writer.close(); !failed.isEmpty()) {
            result.message = QStringLiteral("ファイルに書き込めませんでした") + QLatin1Char('\r') + failed;
            return;
        }
    }
    QFile made(temporary);
    QByteArray bytes;
    if (!made.open(QIODevice::ReadOnly) || readAtMost(made, qint64(4) << 30, &bytes) != WholeRead::Ok) {
        result.message = QStringLiteral("ファイルに書き込めませんでした") + QLatin1Char('\r') + made.errorString();
        return;
    }
    QString error;
    if (!replaceFile(file, bytes, &error, LinkPolicy::FollowLink)) {
        result.message = QStringLiteral("ファイルに書き込めませんでした") + QLatin1Char('\r') + error;
        return;
    }
    result.ok = true;
}

} // namespace

bool isWorkbookName(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
}

ExportResult exportRecords(const QString& database, const QString& file, const ExportOptions& options,
                           const ExportTick& tick)
{
    ExportResult result;
    // Replacing the database with its own export would lose it.
    const QString target = QFileInfo(file).canonicalFilePath();
    if (!target.isEmpty() && target == QFileInfo(database).canonicalFilePath()) {
        result.message = QStringLiteral("データベースのファイルには書き出せません") + QLatin1Char('\r') + file;
        return result;
    }
    const ReadSnapshot snapshot(database);
    StoreStatus status;
    auto store = openStore(database, &status);
    if (!store) {
        result.message = status.message;
        return result;
    }
    if (options.workbook) {
        exportWorkbook(*store, file, options, tick, result);
        return result;
    }
    QByteArray bytes;
    if (options.encoding == Encoding::Utf8)
        bytes += "\xEF\xBB\xBF";
    // Lines are encoded some at a time, not one by one.
    QString lines;
    const auto flush = [&] {
        if (options.encoding == Encoding::ShiftJis)
            cp932::encodeInto(bytes, lines);
        else
            bytes += lines.toUtf8();
        lines.clear();
    };
    const auto endLine = [&] {
        lines += QStringLiteral("\r\n");
        if (lines.size() > 65536)
            flush();
    };
    const QStringList& header = options.japaneseHeader ? kJapaneseColumns : kColumns;
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (i > 0)
            lines += QLatin1Char(separatorChar(options.separator));
        lines += header[i];
    }
    endLine();
    status = store->walk({}, [&](const Record& r) {
        const QString* texts[] = {&r.kind, &r.quest, &r.anser};
        for (int field = 0; field < 3; ++field) {
            if (const qint64 c = withoutCode(*texts[field], options.encoding); c >= 0) {
                result.notInEncoding = true;
                result.message = notInEncodingMessage(r, field, c, options.encoding);
                return false;
            }
        }
        lines += QString::number(r.no);
        for (const QString* text : texts) {
            lines += QLatin1Char(separatorChar(options.separator));
            appendField(lines, toCell(*text), options.separator);
        }
        endLine();
        return counted(result, tick);
    });
    if (!status.ok())
        result.message = status.message;
    if (!result.message.isEmpty() || result.cancelled)
        return result;
    flush();
    QString error;
    if (!replaceFile(file, bytes, &error, LinkPolicy::FollowLink)) {
        result.message = QStringLiteral("ファイルに書き込めませんでした") + QLatin1Char('\r') + error;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace qadora::csv
