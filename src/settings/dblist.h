// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-database list file: one entry per line, "title,database,address,label,directory"
// in double quotes, CP932, CR LF.
#pragma once

#include <QStringList>

namespace qadora {

// The items of a list file: an item in double quotes keeps its commas; an unquoted item ends
// at a comma or a line end.
QStringList parseListItems(const QString& text);

// What a list file held when it was read.
struct ListFileContents {
    bool exists = false;   // something is at the path
    bool regular = false;  // and it is a regular file (a link counts by its target)
    bool readable = false; // and it could be read
    bool clean = true;     // and its bytes are CP932 text, so it may be written back
    QByteArray bytes;
    QStringList items;     // what could be read
};
// Never opens a FIFO or a device: they are not list files.
ListFileContents readListFile(const QString& path);

// Writes every line as one quoted item on its own line, replacing the file atomically (a link
// is followed; the file keeps its permissions).
bool writeListFile(const QString& path, const QStringList& lines, QString* error);
QByteArray listFileBytes(const QStringList& lines);

// The message that refuses a text the list file cannot hold (a character without a CP932
// code), or an empty string.
QString unwritableCharacterMessage(const QString& text);

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
