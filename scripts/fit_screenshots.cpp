// SPDX-License-Identifier: GPL-3.0-or-later
// Shows that the window fits the screen it runs on: every tab as the screen shows it, and,
// where a tab scrolls, once more scrolled to its end; then the focus on each kind of control.
// Run under Xvfb with a screen size and QT_SCALE_FACTOR: scripts/fit_screenshots.sh
#include "settings/dirs.h"
#include "ui/appsetup.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"
#include "ui/main1.h"
#include "ui/recordsearch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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
    // The sample database the build makes and the package installs.
    const QString db = QDir(work.path()).filePath(QStringLiteral("hpdata1.mdb"));
    QFile::copy(QStringLiteral(QADORA_SAMPLE_DB), db);
    QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
    const QString site = QDir(work.path()).filePath(QStringLiteral("site"));
    QDir().mkpath(site);
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
        QTextStream(stdout) << "tab " << i << (scrolls ? ": scrolls" : ": fits") << "\n";
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

    // A search under way: the list narrowed to the records holding both words, the count with it.
    w.SSTab1->setCurrentIndex(3);
    w.searchModify->setFocus();
    w.searchModify->setText(QStringLiteral("ページ　作成"));
    w.recordSearch()->waitForIndex();
    w.recordSearch()->settle();
    shoot(QDir(outDir).filePath(QStringLiteral("search.png")));
    return 0;
}
