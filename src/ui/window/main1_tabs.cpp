// SPDX-License-Identifier: GPL-3.0-or-later
// The window's record tabs: データ表示, データ入力, データ削除 and データ修正.
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
    Label22 = crLabel("Label22", tab);
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

} // namespace qadora
