// SPDX-License-Identifier: GPL-3.0-or-later
// Shows that the window fits the screen it runs on: every tab as the screen shows it, and,
// where a tab scrolls, once more scrolled to its end; then the focus on each kind of control.
// Run under Xvfb with a screen size and QT_SCALE_FACTOR: scripts/fit_screenshots.sh
#include "settings/dirs.h"
#include "store/recordstore.h"
#include "ui/appsetup.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"
#include "ui/main1.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace qadora;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(60);
    }
}

// The whole screen: what the user sees, the window's edges included.
void shoot(const QString& path)
{
    settle();
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Qadora"));
    setUpJapanese(app);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/fit");
    QDir().mkpath(outDir);
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
    w.show();
    w.Form_Load();
    w.Command17_Click();
    w.Command18_Click();
    w.Command5_Click();
    w.Command2_Click();
    w.Command13_Click();

    const QSize screen = QGuiApplication::primaryScreen()->size();
    QTextStream(stdout) << "screen " << screen.width() << "x" << screen.height() << " (device-independent pixels), window "
                        << w.frameGeometry().width() << "x" << w.frameGeometry().height() << "\n";
    for (int i = 0; i < w.SSTab1->count(); ++i) {
        w.SSTab1->setCurrentIndex(i);
        auto* area = qobject_cast<QScrollArea*>(w.SSTab1->widget(i));
        area->verticalScrollBar()->setValue(0);
        area->horizontalScrollBar()->setValue(0);
        shoot(QDir(outDir).filePath(QStringLiteral("tab%1.png").arg(i)));
        const bool scrolls = area->verticalScrollBar()->maximum() > 0 || area->horizontalScrollBar()->maximum() > 0;
        if (scrolls) {
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
            shoot(QDir(outDir).filePath(QStringLiteral("tab%1-end.png").arg(i)));
        }
        QTextStream(stdout) << "tab " << i << (scrolls ? ": scrolls" : ": fits") << " viewport " << area->viewport()->width() << " page " << area->widget()->width() << " min " << area->widget()->minimumSizeHint().width() << "\n";
    }

    // The focus on a list, a button, a text box and a search box, moved there by Tab.
    const std::pair<int, QWidget*> focus[] = {{2, w.List2}, {2, w.Command6}, {3, w.searchModify}, {1, w.Text1}, {4, w.Dir1}};
    int shot = 0;
    for (const auto& [tab, widget] : focus) {
        w.SSTab1->setCurrentIndex(tab);
        w.activateWindow();
        widget->setFocus(Qt::TabFocusReason);
        shoot(QDir(outDir).filePath(QStringLiteral("focus%1-%2.png").arg(++shot).arg(widget->objectName())));
    }
    return 0;
}
