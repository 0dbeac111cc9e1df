// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbookreader.h"

#include "sheetgrid.h"

namespace qadora::workbook {

Format formatOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Format::Protected;
    if (!bytes.startsWith("PK"))
        return Format::None;
    const ZipReader zip(bytes);
    if (!zip.isOpen())
        return Format::None;
    if (zip.contains(QStringLiteral("xl/workbook.xml")))
        return Format::Xlsx;
    QByteArray mimetype;
    if (zip.read(QStringLiteral("mimetype"), &mimetype, 256) == ZipReader::Read::Ok
        && mimetype.trimmed() == "application/vnd.oasis.opendocument.spreadsheet")
        return Format::Ods;
    return Format::None;
}

Sheet readSheet(const QByteArray& bytes, const QString& wanted)
{
    Sheet sheet;
    switch (formatOf(bytes)) {
    case Format::Protected:
        sheet.error = QStringLiteral("パスワードで保護されたブック（または古い形式の .xls）は読み込めません。"
                                     "パスワードを外し、.xlsx か .ods で保存してから取り込んで下さい");
        return sheet;
    case Format::None:
        sheet.error = bytes.startsWith("PK") ? kDamaged + QStringLiteral("（Excel・LibreOffice のブックではありません）")
                                             : kDamaged;
        return sheet;
    case Format::Xlsx:
        return readXlsx(ZipReader(bytes), wanted);
    case Format::Ods:
        return readOds(ZipReader(bytes), wanted);
    }
    return sheet;
}

} // namespace qadora::workbook
