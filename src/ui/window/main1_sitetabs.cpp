// SPDX-License-Identifier: GPL-3.0-or-later
// The window's site tabs: ＨＴＭＬ作成 and 複数ＤＢ指定.
#include "ui/main1.h"

#include "main1_controls.h"
#include "ui/answerbox.h"
#include "ui/controls.h"
#include "ui/folderpicker.h"
#include "ui/pathlabel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qadora {

using namespace windowcontrols;

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

} // namespace qadora
