// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the sample database from sample-records.tsv at build time.
#include "editing/linebreaks.h"
#include "store/recordstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: qadora_make_sample RECORDS.tsv DATABASE\n";
        return 2;
    }
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return 1;
    const QString path = QString::fromLocal8Bit(argv[2]);
    QFile::remove(path);
    qadora::StoreStatus status = qadora::createDatabase(path);
    auto store = qadora::openStore(path, &status);
    if (!store)
        return 1;
    QTextStream in(&source);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 3)
            return 1;
        const QString answer = qadora::brplus(QString(f[2]).replace(QStringLiteral("\\n"), QStringLiteral("\r\n")), true);
        if (!store->add({0, f[0], f[1], answer}).ok())
            return 1;
    }
    return 0;
}
