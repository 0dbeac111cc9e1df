// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-database list file: one entry per line, "title,database,address,label,directory"
// in double quotes, CP932, CR LF.
#pragma once

#include <QStringList>

namespace qadora {

// The items of a list file: an item in double quotes keeps its commas; an unquoted item ends
// at a comma or a line end.
QStringList parseListItems(const QString& text);

// Reads the items of the file; false when it cannot be read.
bool readListFile(const QString& path, QStringList* items);

// Writes every line as one quoted item on its own line, replacing the old file atomically.
bool writeListFile(const QString& path, const QStringList& lines, QString* error);
QByteArray listFileBytes(const QStringList& lines);

QString entryText(const QString& title, const QString& database, const QString& address, const QString& label,
                  const QString& directory);

// A line of the list split into its fields; a comma inside a field shifts the later ones.
struct DbEntry {
    enum Shape {
        NoComma,          // not an entry at all
        TitleAndDatabase, // the return link and the directory are left as they are
        Full,             // address, label and directory are set (empty ones included)
    };
    Shape shape = NoComma;
    QString title;
    QString database;
    QString address;
    QString label;
    QString directory;
};
DbEntry splitEntry(const QString& line);

} // namespace qadora
