// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the six tabs of the window, with a small sample database listed, a message box, the
// help window, the progress dialog and the dialogs of the ファイル menu into PNG files for the
// README. Run it under Xvfb:
// scripts/screenshots.sh
#include "settings/dirs.h"
#include "store/recordstore.h"
#include "ui/answerbox.h"
#include "ui/appsetup.h"
#include "ui/helpform.h"
#include "ui/interaction.h"
#include "ui/csvdialogs.h"
#include "ui/publishaddress.h"
#include "ui/publishdialog.h"
#include "ui/restoredialog.h"
#include "ui/main1.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

using namespace qadora;

namespace {

QByteArray readAllOf(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Qadora"));
    setUpJapanese(app);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QTemporaryDir work;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.path());
    const QString db = QDir(work.path()).filePath(QStringLiteral("hpdata1.mdb"));
    const QString site = QDir(work.path()).filePath(QStringLiteral("site"));
    QDir().mkpath(site);
    createDatabase(db);
    StoreStatus status;
    auto store = openStore(db, &status);
    const QList<Record> sample{
        {0, "sub100,初級編", "Qadoraとは何ですか？", "質問と答えからホームページを作るソフトです。<br>\r\n"},
        {0, "sub100,初級編", "データベースはどこに作りますか？", "「ファイル」メニューの「データベースの指定」で作ります。"},
        {0, "sub200,中級編", "ページの文字コードは何ですか？", "Shift_JIS（Windowsのコードページ932）です。"},
        {0, "sub200,中級編", "携帯用のページも作れますか？", "「枠無し（<hr>）(携帯用)」を選んで作成して下さい。"},
        {0, "sub300,上級編", "複数のデータベースを切り替えられますか？", "「複数ＤＢ指定」タブで登録して切り替えます。"},
    };
    for (const Record& r : sample)
        store->add(r);
    dirs::rwpgmname(2, db);
    dirs::rwfirstdir(2, site);

    QuietInteraction quiet;
    main1 w(&quiet);
    w.resize(1024, 720);
    w.show();
    w.Form_Load();
    w.Command17_Click();
    w.Command18_Click();
    w.Command12_Click();
    w.Command4_Click();
    w.Text1->setText(QStringLiteral("新しい質問です"));
    w.rtext1->setPlainText(QStringLiteral("答えの一行目\n答えの二行目"));
    w.Command5_Click();
    w.List2->setCurrentRow(1);
    w.Command6_Click();
    w.Command25_Click();
    w.Command2_Click();
    w.List3->setCurrentRow(0);
    w.Command9_Click();
    w.Text15->setText(QStringLiteral("Qadora よくある質問"));
    w.Command13_Click();
    w.Command14_Click();
    w.List11->addItem(QStringLiteral("よくある質問,") + db + QStringLiteral(",http://example.jp/,HOME,") + site);
    for (int i = 0; i < w.SSTab1->count(); ++i) {
        w.SSTab1->setCurrentIndex(i);
        QApplication::processEvents();
        w.grab().save(QDir(outDir).filePath(QStringLiteral("tab%1.png").arg(i)));
    }

    // A message box as the display tab's double-click shows it: the answer's markup as text.
    QtInteraction shown(&w);
    auto grabModal = [&](const QString& name) {
        QTimer::singleShot(300, [&, name] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->grab().save(QDir(outDir).filePath(name));
                modal->close();
            }
        });
    };
    w.SSTab1->setCurrentIndex(0);
    grabModal(QStringLiteral("message.png"));
    shown.notice(QStringLiteral("sub100.html , 初級編 / Qadoraとは何ですか？ / 質問と答えから<b>ホームページ</b>を作るソフトです。<br>\r\n"
                                "Shift_JISのページを一括で作成します。<br>\r\n"));
    grabModal(QStringLiteral("version.png"));
    shown.information(versionText());

    w.setumei_Click();
    QApplication::processEvents();
    QThread::msleep(200);
    QApplication::processEvents();
    w.helpWindow()->grab().save(QDir(outDir).filePath(QStringLiteral("help.png")));
    w.helpWindow()->close();

    // The progress of a long "ＨＰ作成", once it has shown itself.
    w.SSTab1->setCurrentIndex(4);
    auto progress = shown.startProgress(QStringLiteral("ページを作成しています…"), 32808);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1200) {
        progress->advance(int(clock.elapsed() * 8));
        QThread::msleep(20);
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("progress") && top->isVisible())
            top->grab().save(QDir(outDir).filePath(QStringLiteral("progress.png")));
    }
    progress.reset();

    // The backups of a database, as ファイル → バックアップから復元… lists them.
    const QDateTime now = QDateTime::currentDateTime();
    RestoreDialog restore(db, {{QString(), now.addSecs(-90), 6}, {QString(), now.addSecs(-3600 * 26), 5}, {QString(), now.addDays(-9), 3}}, &w);
    restore.show();
    QApplication::processEvents();
    restore.grab().save(QDir(outDir).filePath(QStringLiteral("restore.png")));
    restore.close();

    // The publish dialog, after a real publish to the FTP server the script started.
    PublishDialog publish(site, &shown, &w);
    publish.show();
    publish.where->setUrl(QUrl(QStringLiteral("ftp://127.0.0.1:%1/public_html/qa").arg(qEnvironmentVariable("QADORA_SCREENSHOT_FTP_PORT"))));
    publish.user->setText(QStringLiteral("web"));
    publish.password->setText(QStringLiteral("password"));
    if (qEnvironmentVariableIsSet("QADORA_SCREENSHOT_FTP_PORT")) {
        QEventLoop wait;
        QObject::connect(&publish, &PublishDialog::publishFinished, &wait, &QEventLoop::quit);
        publish.start();
        wait.exec();
    }
    QApplication::processEvents();
    publish.grab().save(QDir(outDir).filePath(QStringLiteral("publish.png")));
    publish.close();

    // The import preview of a file with rows that cannot be taken, and the rename of a kind.
    const QString faq = QDir(work.path()).filePath(QStringLiteral("faq.csv"));
    QFile csvFile(faq);
    csvFile.open(QIODevice::WriteOnly);
    csvFile.write("No,kind,quest,anser\r\n"
                  ",\"sub300,上級編\",ページを公開するには？,「ファイル」メニューの「サイトの公開…」を使います。\r\n"
                  ",\"sub300,上級編\",Excelで編集できますか？,「書き出し…」で書き出したファイルを開いて編集し、「取り込み…」で戻せます。\r\n"
                  ",sub300,種類にカンマがない,x\r\n"
                  ",\"sub100,初級編\",Qadoraとは何ですか？,同じ質問\r\n"
                  ",\"sub300,上級編\",,答えだけ\r\n");
    csvFile.close();
    ImportDialog import(db, faq, readAllOf(faq), &w);
    import.show();
    QApplication::processEvents();
    import.grab().save(QDir(outDir).filePath(QStringLiteral("import.png")));
    import.close();
    QList<KindCount> kinds;
    countKinds(db, &kinds);
    RenameKindDialog rename(kinds, &shown, &w);
    rename.show();
    rename.newKind->setText(QStringLiteral("sub101,はじめに"));
    QApplication::processEvents();
    rename.grab().save(QDir(outDir).filePath(QStringLiteral("rename.png")));
    return 0;
}
