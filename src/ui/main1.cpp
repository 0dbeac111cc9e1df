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
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>

namespace qadora {

namespace {

// A bordered label that shows a number centred.
QLabel* countLabel(const char* name, QWidget* parent)
{
    auto* l = named<QLabel>(name, parent);
    l->setFrameShape(QFrame::Box);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(70);
    return l;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = captioned<QPushButton>(name, text, parent);
    // Enter on a focused button presses it; outside a dialog nothing else becomes default.
    b->setAutoDefault(true);
    return b;
}

QLineEdit* lineEdit(const char* name, QWidget* parent, const QString& text = QString())
{
    auto* e = named<QLineEdit>(name, parent);
    e->setText(text);
    return e;
}

AnswerBox* multiLine(const char* name, QWidget* parent)
{
    return named<AnswerBox>(name, parent);
}

// Rows stay one line each: a line break inside a stored text is drawn as a mark, so a row
// shows all of its text. The items themselves keep the text exactly.
class OneLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        if (value.typeId() == QMetaType::QString)
            return QStyledItemDelegate::displayText(markLineBreaks(value.toString()), locale);
        return QStyledItemDelegate::displayText(value, locale);
    }
};

QListWidget* list(const char* name, QWidget* parent)
{
    auto* l = named<QListWidget>(name, parent);
    l->setItemDelegate(new OneLineDelegate(l));
    l->setSortingEnabled(false);
    l->setUniformItemSizes(true); // tens of thousands of lines
    return l;
}

// A search box over a record list.
QLineEdit* searchBox(const char* name, QWidget* parent)
{
    auto* e = named<QLineEdit>(name, parent);
    e->setPlaceholderText(QStringLiteral("検索（種類・質問・答え）"));
    e->setClearButtonEnabled(true);
    return e;
}

QFrame* line(const char* name, QWidget* parent)
{
    auto* f = named<QFrame>(name, parent);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

// A label whose caption breaks its lines at a lone CR, as the program's captions do;
// text() keeps the caption exactly as set.
class CrLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize sizeHint() const override { return minimumSizeHint(); }
    QSize minimumSizeHint() const override
    {
        const int m = 2 * (frameWidth() + margin() + 2);
        return fontMetrics().boundingRect(QRect(), Qt::AlignLeft, shown()).size() + QSize(m, m);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const int m = margin() + 2;
        style()->drawItemText(&painter, contentsRect().adjusted(m, m, -m, -m), int(alignment()), palette(),
                              isEnabled(), shown(), foregroundRole());
    }

private:
    QString shown() const { return QString(text()).replace(QLatin1Char('\r'), QLatin1Char('\n')); }
};

} // namespace

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

QWidget* main1::buildTab0()
{
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    Label25 = captioned<QLabel>("Label25", QStringLiteral("ｻﾌﾞﾒﾆｭｰhtml名　,　ｻﾌﾞﾒﾆｭｰﾀｲﾄﾙ名　/　ｻﾌﾞの質問内容　/　ｻﾌﾞの答え"), tab);
    Command17 = button("Command17", QStringLiteral("種類の表示"), tab);
    List8 = list("List8", tab);
    Option1 = named<QRadioButton>("Option1", tab);
    Option1->setText(QStringLiteral("全データの表示"));
    Option2 = named<QRadioButton>("Option2", tab);
    Option2->setText(QStringLiteral("選択種類データの表示"));
    auto* group = new QButtonGroup(tab);
    group->addButton(Option1);
    group->addButton(Option2);
    Option1->setChecked(true);
    Command18 = button("Command18", QStringLiteral("データの表示"), tab);
    List9 = list("List9", tab);
    List10 = list("List10", tab);
    List10->setVisible(false);
    Label24 = countLabel("Label24", tab);
    searchDisplay = searchBox("searchDisplay", tab);

    auto* left = new QVBoxLayout;
    left->addWidget(Command17);
    left->addWidget(List8, 1);
    left->addWidget(Option1);
    left->addWidget(Option2);
    left->addWidget(Command18);
    auto* countRow = new QHBoxLayout;
    countRow->addStretch();
    countRow->addWidget(Label24);
    left->addLayout(countRow);
    g->addLayout(left, 0, 0, 3, 1);
    g->addWidget(searchDisplay, 0, 1);
    g->addWidget(Label25, 1, 1);
    g->addWidget(List9, 2, 1);
    g->setColumnStretch(0, 1);
    g->setColumnStretch(1, 3);
    return tab;
}

QWidget* main1::buildTab1()
{
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    Label5 = captioned<QLabel>("Label5", QStringLiteral("種類"), tab);
    Combo1 = named<QComboBox>("Combo1", tab);
    Combo1->setEditable(true);
    // The kind is stored exactly as typed: no completion, no case folding, and Enter never
    // picks or adds an item.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setCompleter(nullptr);
    Combo1->installEventFilter(this);
    Combo1->lineEdit()->installEventFilter(this);
    Label22 = named<CrLabel>("Label22", tab);
    Label22->setFrameShape(QFrame::StyledPanel);
    Label22->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3 = captioned<QLabel>("Label3", QStringLiteral("質問"), tab);
    Text1 = lineEdit("Text1", tab);
    Text1->installEventFilter(this);
    Label4 = captioned<QLabel>("Label4", QStringLiteral("答え"), tab);
    rtext1 = multiLine("rtext1", tab);
    rtext1->installEventFilter(this);
    Check1 = named<QCheckBox>("Check1", tab);
    Check1->setText(QStringLiteral("改行を<br>改行にする"));
    Check1->setChecked(true);
    Command3 = button("Command3", QStringLiteral("データの追加"), tab);
    Command12 = button("Command12", QStringLiteral("種類の読込（既存データ）"), tab);
    renameKind = button("renameKind", QStringLiteral("種類の変更…"), tab);
    Command4 = button("Command4", QStringLiteral("表示　更新"), tab);
    List1 = list("List1", tab);
    Label6 = countLabel("Label6", tab);
    Command26 = button("Command26", QStringLiteral("バイト数"), tab);
    Label26 = named<QLabel>("Label26", tab);
    Label26->setMinimumWidth(60);
    Label26->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label27 = captioned<QLabel>("Label27", QStringLiteral("byte"), tab);
    Line1 = line("Line1", tab);

    g->addWidget(Label5, 0, 0);
    g->addWidget(Combo1, 0, 1);
    auto* kindTools = new QHBoxLayout;
    kindTools->addWidget(Command12);
    kindTools->addWidget(renameKind);
    g->addLayout(kindTools, 0, 2);
    g->addWidget(Label22, 0, 3, 3, 2);
    g->addWidget(Label3, 1, 0);
    g->addWidget(Text1, 1, 1, 1, 2);
    g->addWidget(Label4, 2, 0, Qt::AlignTop);
    g->addWidget(rtext1, 2, 1, 2, 2);
    auto* answerTools = new QHBoxLayout;
    answerTools->addWidget(Check1);
    answerTools->addStretch();
    answerTools->addWidget(Command26);
    answerTools->addWidget(Label26);
    answerTools->addWidget(Label27);
    g->addLayout(answerTools, 4, 1, 1, 2);
    g->addWidget(Command3, 5, 1, 1, 2);
    g->addWidget(Line1, 6, 0, 1, 5);
    auto* overview = new QHBoxLayout;
    overview->addWidget(Command4);
    overview->addStretch();
    overview->addWidget(Label6);
    g->addLayout(overview, 7, 0, 1, 5);
    g->addWidget(List1, 8, 0, 1, 5);
    g->setRowStretch(3, 2);
    g->setRowStretch(8, 2);
    g->setColumnStretch(1, 3);
    g->setColumnStretch(3, 2);
    return tab;
}

QWidget* main1::buildTab2()
{
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    Command5 = button("Command5", QStringLiteral("①データ表示（質問）"), tab);
    List2 = list("List2", tab);
    Label7 = countLabel("Label7", tab);
    Label8 = captioned<QLabel>("Label8", QStringLiteral("②上記データ１行選択後"), tab);
    Command6 = button("Command6", QStringLiteral("③削除データの表示"), tab);
    Label15 = captioned<QLabel>("Label15", QStringLiteral("種　類"), tab);
    Text6 = lineEdit("Text6", tab);
    Label10 = captioned<QLabel>("Label10", QStringLiteral("質　問"), tab);
    Text7 = lineEdit("Text7", tab);
    Label11 = captioned<QLabel>("Label11", QStringLiteral("答　え"), tab);
    Text2 = multiLine("Text2", tab);
    Label12 = captioned<QLabel>("Label12", QStringLiteral("上記データを削除しますか？"), tab);
    Command7 = button("Command7", QStringLiteral("④　削　除　Ｏ　Ｋ"), tab);
    Command8 = button("Command8", QStringLiteral("削除しません"), tab);
    Line2 = line("Line2", tab);
    searchDelete = searchBox("searchDelete", tab);

    auto* head = new QHBoxLayout;
    head->addWidget(Command5);
    head->addWidget(searchDelete, 1);
    head->addWidget(Label7);
    g->addLayout(head, 0, 0, 1, 3);
    g->addWidget(List2, 1, 0, 1, 3);
    auto* step = new QHBoxLayout;
    step->addWidget(Label8);
    step->addWidget(Command6);
    step->addStretch();
    g->addLayout(step, 2, 0, 1, 3);
    g->addWidget(Line2, 3, 0, 1, 3);
    g->addWidget(Label15, 4, 0);
    g->addWidget(Text6, 4, 1, 1, 2);
    g->addWidget(Label10, 5, 0);
    g->addWidget(Text7, 5, 1, 1, 2);
    g->addWidget(Label11, 6, 0, Qt::AlignTop);
    g->addWidget(Text2, 6, 1, 1, 2);
    auto* confirm = new QHBoxLayout;
    confirm->addWidget(Label12);
    confirm->addWidget(Command7);
    confirm->addWidget(Command8);
    confirm->addStretch();
    g->addLayout(confirm, 7, 1, 1, 2);
    g->setRowStretch(1, 3);
    g->setRowStretch(6, 2);
    g->setColumnStretch(1, 1);
    return tab;
}

QWidget* main1::buildTab3()
{
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    Command2 = button("Command2", QStringLiteral("①データ表示（質問）"), tab);
    Check3 = named<QCheckBox>("Check3", tab);
    Check3->setText(QStringLiteral("種類データの指定"));
    Command25 = button("Command25", QStringLiteral("種類の表示"), tab);
    List12 = list("List12", tab);
    List3 = list("List3", tab);
    Label13 = countLabel("Label13", tab);
    Label14 = captioned<QLabel>("Label14", QStringLiteral("②上記データ１行選択後"), tab);
    Command9 = button("Command9", QStringLiteral("③修正データの表示"), tab);
    Label19 = captioned<QLabel>("Label19", QStringLiteral("種　類"), tab);
    Text3 = lineEdit("Text3", tab);
    Label18 = captioned<QLabel>("Label18", QStringLiteral("質　問"), tab);
    Text4 = lineEdit("Text4", tab);
    Label17 = captioned<QLabel>("Label17", QStringLiteral("答　え"), tab);
    Text5 = multiLine("Text5", tab);
    Label20 = captioned<QLabel>("Label20", QStringLiteral("上記データを反映しますか？"), tab);
    Command10 = button("Command10", QStringLiteral("④　変　更　Ｏ　Ｋ"), tab);
    Command11 = button("Command11", QStringLiteral("変更しません"), tab);
    Line3 = line("Line3", tab);
    searchModify = searchBox("searchModify", tab);
    previewRecord = button("previewRecord", QStringLiteral("ページのプレビュー"), tab);

    auto* head = new QHBoxLayout;
    head->addWidget(Command2);
    head->addWidget(searchModify, 1);
    head->addWidget(Label13);
    g->addLayout(head, 0, 0, 1, 3);
    g->addWidget(List3, 1, 0, 1, 3);
    auto* kinds = new QVBoxLayout;
    kinds->addWidget(Check3);
    kinds->addWidget(Command25);
    kinds->addWidget(List12, 1);
    g->addLayout(kinds, 0, 3, 2, 1);
    auto* step = new QHBoxLayout;
    step->addWidget(Label14);
    step->addWidget(Command9);
    step->addStretch();
    g->addLayout(step, 2, 0, 1, 4);
    g->addWidget(Line3, 3, 0, 1, 4);
    g->addWidget(Label19, 4, 0);
    g->addWidget(Text3, 4, 1, 1, 3);
    g->addWidget(Label18, 5, 0);
    g->addWidget(Text4, 5, 1, 1, 3);
    g->addWidget(Label17, 6, 0, Qt::AlignTop);
    g->addWidget(Text5, 6, 1, 1, 3);
    auto* confirm = new QHBoxLayout;
    confirm->addWidget(Label20);
    confirm->addWidget(Command10);
    confirm->addWidget(Command11);
    confirm->addStretch();
    confirm->addWidget(previewRecord);
    g->addLayout(confirm, 7, 1, 1, 3);
    g->setRowStretch(1, 3);
    g->setRowStretch(6, 2);
    g->setColumnStretch(1, 3);
    g->setColumnStretch(3, 1);
    return tab;
}

QWidget* main1::buildTab4()
{
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    Label21 = captioned<QLabel>("Label21", QStringLiteral("indexファイル名："), tab);
    Text8 = lineEdit("Text8", tab, QStringLiteral("index.html"));
    Label39 = captioned<QLabel>("Label39", QStringLiteral("indexタイトル："), tab);
    Text15 = lineEdit("Text15", tab);
    Label31 = captioned<QLabel>("Label31", QStringLiteral("Top頁に戻るHPが必要な時：　(http://で始まるURLを記入)"), tab);
    Text12 = lineEdit("Text12", tab, QStringLiteral("http://"));
    Label23 = captioned<QLabel>("Label23", QStringLiteral("戻るＨＰのタイトル名："), tab);
    Text10 = lineEdit("Text10", tab);
    Text10->installEventFilter(this);
    Label34 = captioned<QLabel>("Label34", QStringLiteral("例：HOME"), tab);
    Frame2 = named<QGroupBox>("Frame2", tab);
    Frame2->setTitle(QStringLiteral("質問と答の分け方"));
    Option5 = named<QRadioButton>("Option5", Frame2);
    Option5->setText(QStringLiteral("枠有り（<table>）"));
    Option6 = named<QRadioButton>("Option6", Frame2);
    Option6->setText(QStringLiteral("枠無し（<hr>）(携帯用)"));
    Option6->setChecked(true);
    Option7 = named<QRadioButton>("Option7", Frame2);
    Option7->setText(QStringLiteral("モダン（UTF-8・スマートフォン・検索対応）"));
    Option7->setToolTip(QStringLiteral("UTF-8のページに、スタイルシート、サイト内検索、検索エンジン向けの情報を付けて作成します"));
    Check2 = named<QCheckBox>("Check2", Frame2);
    Check2->setText(QStringLiteral("ﾀｲﾄﾙを大きくする"));
    Check5 = named<QCheckBox>("Check5", Frame2);
    Check5->setText(QStringLiteral("スマートフォン向けの表示にする"));
    Check5->setToolTip(QStringLiteral("すべてのページに <meta name=\"viewport\"> を入れ、スマートフォンの画面の幅で表示されるようにします"));
    auto* frame = new QVBoxLayout(Frame2);
    frame->addWidget(Option5);
    frame->addWidget(Option6);
    frame->addWidget(Option7);
    frame->addWidget(Check2);
    frame->addWidget(Check5);
    siteAddressLabel = captioned<QLabel>("siteAddressLabel", QStringLiteral("サイトのアドレス："), Frame2);
    siteAddress = lineEdit("siteAddress", Frame2);
    siteAddress->setPlaceholderText(QStringLiteral("https://example.jp/faq/"));
    siteAddress->setToolTip(QStringLiteral("モダンのページを公開するアドレス。入れるとsitemap.xmlとrobots.txtも作成します"));
    siteAddressLabel->setBuddy(siteAddress);
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(siteAddressLabel);
    addressRow->addWidget(siteAddress, 1);
    frame->addLayout(addressRow);
    Command13 = button("Command13", QStringLiteral("データ表示"), tab);
    List4 = list("List4", tab);
    List5 = list("List5", tab);
    List5->setVisible(false);
    Combo2 = named<QComboBox>("Combo2", tab);
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    Combo2->setVisible(false);
    Label9 = countLabel("Label9", tab);
    Label16 = captioned<QLabel>("Label16", QStringLiteral("件"), tab);
    Command14 = button("Command14", QStringLiteral("ＨＰ作成"), tab);
    Dir1 = new DirList(tab);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    File1 = new FileList(tab);
    File1->setObjectName(QStringLiteral("File1"));
    Label36 = named<PathLabel>("Label36", tab);
    Label36->setFrameShape(QFrame::Panel);
    Label36->setFrameShadow(QFrame::Sunken);
    Label36->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Command1 = button("Command1", QStringLiteral("ﾃﾞｽｸﾄｯﾌﾟ"), tab);
    browseDir = button("browseDir", QStringLiteral("参照…"), tab);
    browseDir->setToolTip(QStringLiteral("ページを作成するフォルダを選びます"));
    Dir1->setToolTip(QStringLiteral("ダブルクリックでフォルダを開きます"));
    Text9 = lineEdit("Text9", tab);
    Text9->installEventFilter(this);
    Command15 = button("Command15", QStringLiteral("ﾃﾞｨﾚｸﾄﾘ作成"), tab);
    Command16 = button("Command16", QStringLiteral("ﾃﾞｨﾚｸﾄﾘ内全削除"), tab);
    Check4 = named<QCheckBox>("Check4", tab);
    Check4->setText(QStringLiteral("前回までに作成して不要になったページを削除する"));
    Check4->setToolTip(QStringLiteral("削除した質問のページや、なくなった種類のページを削除します。Qadoraが作成したページ以外は削除しません"));
    preview = button("preview", QStringLiteral("プレビュー"), tab);
    preview->setToolTip(QStringLiteral("今の設定で一時フォルダーにページを作成し、ブラウザで開きます"));

    auto* form = new QGridLayout;
    form->addWidget(Label21, 0, 0);
    form->addWidget(Text8, 0, 1);
    form->addWidget(Label39, 1, 0);
    form->addWidget(Text15, 1, 1);
    form->addWidget(Label31, 2, 0, 1, 2);
    form->addWidget(Text12, 3, 1);
    form->addWidget(Label23, 4, 0);
    form->addWidget(Text10, 4, 1);
    form->addWidget(Label34, 5, 1);
    form->addWidget(Frame2, 6, 0, 1, 2);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(Command13);
    listRow->addStretch();
    listRow->addWidget(Label9);
    listRow->addWidget(Label16);
    form->addLayout(listRow, 7, 0, 1, 2);
    form->addWidget(List4, 8, 0, 1, 2);
    auto* makeRow = new QHBoxLayout;
    makeRow->addWidget(Command14, 1);
    makeRow->addWidget(preview);
    form->addLayout(makeRow, 9, 0, 1, 2);
    form->setRowStretch(8, 1);

    auto* picker = new QGridLayout;
    picker->addWidget(Label36, 0, 0, 1, 2);
    picker->addWidget(Dir1, 1, 0);
    picker->addWidget(File1, 1, 1);
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(Command1);
    folderButtons->addWidget(browseDir);
    folderButtons->addStretch();
    picker->addLayout(folderButtons, 2, 0);
    auto* dirTools = new QHBoxLayout;
    dirTools->addWidget(Text9, 1);
    dirTools->addWidget(Command15);
    picker->addLayout(dirTools, 3, 0, 1, 2);
    picker->addWidget(Command16, 4, 1);
    picker->addWidget(Check4, 5, 0, 1, 2);
    picker->setRowStretch(1, 1);

    g->addLayout(form, 0, 0);
    g->addLayout(picker, 0, 1);
    g->setColumnStretch(0, 1);
    g->setColumnStretch(1, 1);
    return tab;
}

QWidget* main1::buildTab5()
{
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    Command19 = button("Command19", QStringLiteral("複数ＤＢ指定時の環境設定ﾌｧｲﾙ指定(TEXTﾌｧｲﾙ名)①"), tab);
    Label28 = named<PathLabel>("Label28", tab);
    Label28->setFrameShape(QFrame::Panel);
    Label28->setFrameShadow(QFrame::Sunken);
    Command20 = button("Command20", QStringLiteral("複数ＤＢ名の呼び出し"), tab);
    List11 = list("List11", tab);
    Label29 = captioned<QLabel>("Label29", QStringLiteral("ＤＢタイトル②"), tab);
    Text11 = lineEdit("Text11", tab);
    Label40 = captioned<QLabel>("Label40", QStringLiteral("：ＨＴＭＬ作成時のindexタイトルにもなります"), tab);
    Command22 = button("Command22", QStringLiteral("ＤＢファイル名③"), tab);
    Label30 = named<PathLabel>("Label30", tab);
    Label30->setFrameShape(QFrame::Panel);
    Label30->setFrameShadow(QFrame::Sunken);
    Label37 = captioned<QLabel>("Label37", QStringLiteral("html作成Dir　　　："), tab);
    Label38 = named<PathLabel>("Label38", tab);
    Label38->setFrameShape(QFrame::Panel);
    Label38->setFrameShadow(QFrame::Sunken);
    Label32 = captioned<QLabel>("Label32", QStringLiteral("Top頁に戻るHPが必要な時：　(http://で始まるURLを記入)"), tab);
    Text13 = lineEdit("Text13", tab, QStringLiteral("http://"));
    Label33 = captioned<QLabel>("Label33", QStringLiteral("戻るHPタイトル名："), tab);
    Text14 = lineEdit("Text14", tab);
    Label35 = captioned<QLabel>("Label35", QStringLiteral("例：HOME"), tab);
    Command21 = button("Command21", QStringLiteral("複数ＤＢの登録④"), tab);
    Command23 = button("Command23", QStringLiteral("１行削除＆ファイル保存"), tab);
    Command24 = button("Command24", QStringLiteral("選択したＤＢへの変更"), tab);

    // One column of labels, one of fields (all of the same width), one of notes.
    auto* listFile = new QHBoxLayout;
    listFile->addWidget(Command19);
    listFile->addWidget(Label28, 1);
    g->addLayout(listFile, 0, 0, 1, 3);
    g->addWidget(Command20, 1, 0);
    g->addWidget(List11, 2, 0, 1, 3);
    g->addWidget(Label29, 3, 0);
    g->addWidget(Text11, 3, 1);
    g->addWidget(Label40, 3, 2);
    g->addWidget(Command22, 4, 0);
    g->addWidget(Label30, 4, 1, 1, 2);
    g->addWidget(Label37, 5, 0);
    g->addWidget(Label38, 5, 1, 1, 2);
    g->addWidget(Label32, 6, 0, 1, 3);
    g->addWidget(Text13, 7, 1);
    g->addWidget(Label33, 8, 0);
    g->addWidget(Text14, 8, 1);
    g->addWidget(Label35, 8, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command21);
    buttons->addWidget(Command23);
    buttons->addWidget(Command24);
    buttons->addStretch();
    g->addLayout(buttons, 9, 0, 1, 3);
    g->setRowStretch(2, 1);
    g->setColumnStretch(1, 1);
    return tab;
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
