// SPDX-License-Identifier: GPL-3.0-or-later
#include "main1.h"

#include "answerbox.h"
#include "controls.h"
#include "folderpicker.h"
#include "pathlabel.h"
#include "interaction.h"
#include "history/backups.h"
#include "recordsearch.h"
#include "singleinstance.h"
#include "settings/dirs.h"
#include "settings/sitesettings.h"
#include "site/pages.h"
#include "site/sitegeneration.h"
#include "views/listings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>

namespace qadora {

QStringList linesOf(const QListWidget* list)
{
    QStringList lines;
    lines.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

main1::main1(Interaction* interaction, QWidget* parent)
    : QMainWindow(parent)
    , m_interaction(interaction)
    , m_backups(std::make_unique<SessionBackups>())
    , m_siteShown(std::make_unique<SiteSettings>())
{
    setObjectName(QStringLiteral("main1"));
    setWindowTitle(QStringLiteral("Qadora"));
    // The installed theme icon; the program's own copy where none is installed: the drawing
    // where Qt can read SVG, else its picture (the Windows build has no SVG plugin).
    const bool svg = QImageReader::supportedImageFormats().contains("svg");
    setWindowIcon(QIcon::fromTheme(QStringLiteral("qadora"),
                                   QIcon(svg ? QStringLiteral(":/qadora/qadora.svg") : QStringLiteral(":/qadora/windows/qadora.png"))));
    buildMenus();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    Label2 = captioned<QLabel>("Label2", QStringLiteral("データベース"), central);
    Label1 = named<PathLabel>("Label1", central);
    Label1->setFrameShape(QFrame::Panel);
    Label1->setFrameShadow(QFrame::Sunken);
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(Label2);
    top->addWidget(Label1, 1);
    layout->addLayout(top);

    SSTab1 = named<QTabWidget>("SSTab1", central);
    SSTab1->addTab(buildTab0(), QStringLiteral("データ表示"));
    SSTab1->addTab(buildTab1(), QStringLiteral("データ入力"));
    SSTab1->addTab(buildTab2(), QStringLiteral("データ削除"));
    SSTab1->addTab(buildTab3(), QStringLiteral("データ修正"));
    SSTab1->addTab(buildTab4(), QStringLiteral("ＨＴＭＬ作成"));
    SSTab1->addTab(buildTab5(), QStringLiteral("複数ＤＢ指定"));
    layout->addWidget(SSTab1, 1);
    setCentralWidget(central);

    // Paths, counts and texts from the store are shown as they are, never as markup.
    for (QLabel* l : findChildren<QLabel*>())
        l->setTextFormat(Qt::PlainText);

    buildFrame();
    connectHandlers();
    fitToScreen();
}

main1::~main1()
{
    // QWidget's destructor closes the window after our members are gone, and a box losing the
    // focus then would call a handler that needs them.
    for (QWidget* child : findChildren<QWidget*>())
        child->disconnect(this);
    QObject::disconnect(qApp, nullptr, this, nullptr);
}

void main1::buildMenus()
{
    ffile = menuBar()->addMenu(QStringLiteral("ファイル"));
    ffile->setObjectName(QStringLiteral("ffile"));
    hensyu = menuBar()->addMenu(QStringLiteral("編集"));
    hensyu->setObjectName(QStringLiteral("hensyu"));
    hhelp = menuBar()->addMenu(QStringLiteral("ヘルプ"));
    hhelp->setObjectName(QStringLiteral("hhelp"));
    auto add = [this](QMenu* menu, const char* name, const QString& text) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    dbmake = add(ffile, "dbmake", QStringLiteral("データベースの指定"));
    dbdel = add(ffile, "dbdel", QStringLiteral("データベース設定クリア"));
    importCsv = add(ffile, "importCsv", QStringLiteral("取り込み…"));
    exportCsv = add(ffile, "exportCsv", QStringLiteral("書き出し…"));
    koukai = add(ffile, "koukai", QStringLiteral("サイトの公開…"));
    buildPublish = add(ffile, "buildPublish", QStringLiteral("作成して公開"));
    restore = add(ffile, "restore", QStringLiteral("バックアップから復元…"));
    eend = add(ffile, "eend", QStringLiteral("終了"));
    undo = add(hensyu, "undo", QStringLiteral("元に戻す"));
    redo = add(hensyu, "redo", QStringLiteral("やり直し"));
    setumei = add(hhelp, "setumei", QStringLiteral("説明"));
    sakusya = add(hhelp, "sakusya", QStringLiteral("作者ＨＰ"));
    hpsamp = add(hhelp, "hpsamp", QStringLiteral("このツールにて作成したＨＰ"));
    aabout = add(hhelp, "aabout", QStringLiteral("バージョン"));
}

void main1::connectHandlers()
{
    connect(dbmake, &QAction::triggered, this, &main1::dbmake_Click);
    connect(dbdel, &QAction::triggered, this, &main1::dbdel_Click);
    connect(eend, &QAction::triggered, this, &QWidget::close);
    connect(Dir1, &DirList::pathChanged, this, &main1::Dir1_Change);
    connect(Dir1, &DirList::rightButtonReleased, this, &main1::Dir1_RightRelease);
    connect(File1, &QListWidget::itemDoubleClicked, this, &main1::File1_DblClick);
    connect(Command1, &QPushButton::clicked, this, &main1::Command1_Click);
    connect(browseDir, &QPushButton::clicked, this, &main1::browseDir_Click);
    connect(SSTab1, &QTabWidget::tabBarDoubleClicked, this, &main1::SSTab1_DblClick);
    connectViews();
    connectSite();
    connectEditing();
    connectSettings();
    connectHelp();
    connectPublish();
    connectHistory();
    connectExchange();
    connectSearch();
    connectKeyboard();
    connectPreview();
    connectFrame();
}

void main1::notice(const QString& text)
{
    m_interaction->notice(text);
}

QString main1::outputDir() const
{
    return Dir1->path();
}

bool main1::setOutputDir(const QString& dir)
{
    return Dir1->setPath(dir);
}

PageStyle main1::pageStyle() const
{
    const PageStyle style{Option6->isChecked(), Check2->isChecked(), Check5->isChecked(), Option7->isChecked(),
                          siteAddress->text()};
    return withSiteFrame(style, Text8->text(), IndexSettings{Text15->text(), Text12->text(), Text10->text(), {}});
}

void main1::Dir1_Change()
{
    m_keepSavedOutputDir = false;
    const QString dir = Dir1->path();
    File1->setPath(dir);
    Label36->setText(dir);
    Label38->setText(dir);
    QDir::setCurrent(dir);
    showSiteSettingsOf(dir);
}

void main1::Dir1_RightRelease()
{
    const QString text = m_interaction->clipboardText();
    if (text.startsWith(QLatin1Char('\\'))) {
        notice(QStringLiteral("直のネットワークドライブには、対応しておりません。ドライブ名を割り当て、ドライブ名にて指定して下さい。"));
        return;
    }
    // A path that is not a directory changes nothing. A path copied from a terminal may
    // bring a line end along; the text as it is comes first, since a name may end so too.
    if (!setOutputDir(text)) {
        QString path = text;
        while (path.endsWith(u'\n') || path.endsWith(u'\r'))
            path.chop(1);
        if (path != text)
            setOutputDir(path);
    }
}

void main1::File1_DblClick()
{
    QListWidgetItem* item = File1->currentItem();
    if (!item)
        return;
    const QString full = QDir(outputDir()).filePath(item->text());
    const QString lower = full.toLower();
    if (lower.endsWith(QLatin1String("html")) || lower.endsWith(QLatin1String("htm"))
        || lower.endsWith(QLatin1String("mdb")))
        m_interaction->openUrl(QUrl::fromLocalFile(full));
}

void main1::Command1_Click()
{
    setOutputDir(dirs::getdesktop());
}

void main1::SSTab1_DblClick()
{
    Label9->setText(QString());
    Text2->setPlainText(QString());
}

bool main1::eventFilter(QObject* watched, QEvent* event)
{
    // The Enter-key path moves the focus only; the key still reaches its box.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter) {
            if (watched == Combo1 || watched == Combo1->lineEdit())
                Text1->setFocus();
            else if (watched == Text1)
                rtext1->setFocus();
            else if (watched == Text9)
                Command15->setFocus();
            else if (watched == Text10)
                Command14->setFocus();
        }
    } else if (event->type() == QEvent::KeyRelease && watched == rtext1) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (enter && mods == Qt::ShiftModifier)
            Command3->setFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

void main1::closeEvent(QCloseEvent* event)
{
    if (!mayClose()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

} // namespace qadora
