// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpform.h"

#include "appsetup.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace qadora {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

QString helpText()
{
    // Each line with the number of line breaks that follow it.
    const std::pair<QString, int> lines[] = {
        {QStringLiteral("Qadoraの説明"), 2},
        {QStringLiteral("まず最初に左上[ファイル]の中の[データベースの指定]を選択しデータベースを作成します。"), 1},
        {QStringLiteral("次に[データ入力]タブを選択しデータの入力を行います。データを登録した後に[html作成]タブにて"), 1},
        {QStringLiteral("indexメニューとsubindexメニューと入力データのhtmlも自動作成できます。"), 2},
        {QStringLiteral("メインのindexファイル名とタイトルはｈｔｍｌ作成タブの所で指定します。"), 1},
        {QStringLiteral("subindexメニューのファイル名とタイトルはデータ入力時の種類にて指定します。"), 1},
        {QStringLiteral("メインメニューからサブメニューを呼び出し、サブメニューからＱ＆Ａのhtmlファイルを"), 1},
        {QStringLiteral("呼び出します。２階層型htmlを作成するにはとても便利です。"), 1},
        {QStringLiteral("あるsubindexより別のデータベースを作成してリンクすれば何階層にもhtmlが作成できます。"), 2},
        {QStringLiteral("メインmenu    サブmenu       ＨＰ"), 1},
        {QStringLiteral("index.html    sub100.html    qa001.html"), 1},
        {QStringLiteral("              sub100.html    qa002.html"), 1},
        {QStringLiteral("              sub100.html    qa003.html"), 1},
        {QStringLiteral("              sub200.html    qa004.html"), 1},
        {QStringLiteral("              sub200.html    qa005.html"), 1},
        {QStringLiteral("              sub300.html    qa006.html"), 1},
        {QStringLiteral("              sub300.html    qa007.html"), 2},
        {QStringLiteral("[データ入力]タブにも書いてありますが種類の入力は sub100,サブタイトル名 の様に入れます。"), 2},
        {QStringLiteral("htmlファイル作成ﾃﾞｨﾚｸﾄﾘは､DB毎に指定できます。ﾃﾞｨﾚｸﾄﾘの保存･呼出は｢複数DB指定｣ﾀﾌﾞにて指定。"), 1},
    };
    QString text;
    for (const auto& [line, breaks] : lines)
        text += line + kCrLf.repeated(breaks);
    return text;
}

QString versionText()
{
    return QStringLiteral("Qadora") + kCrLf + kCrLf
        + QStringLiteral("アクセスのデータベースをアクセスがなくてもdb作成とデータ入力／修正ができます。") + kCrLf
        + QStringLiteral("質問と答えを種類別にデータ入力にて作成し、そのデータをｈｔｍｌ形式にて一括作成が出来ます。") + kCrLf
        + QStringLiteral("i-mode用ＨＰ作成にも対応しています。超便利ソフトです。") + kCrLf + kCrLf + QStringLiteral("ver ")
        + QStringLiteral("2.03") + QChar(0x3000) + QStringLiteral("2004/09/11") + kCrLf + kCrLf;
}

helpform::helpform(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("helpform"));
    setWindowTitle(QStringLiteral("説明"));
    setAttribute(Qt::WA_DeleteOnClose); // closing unloads it
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    // The columns of the page diagram line up only in a fixed-pitch font whose kana are twice
    // as wide as its Latin letters.
    Text1->setFont(diagramFont());
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setPlainText(helpText());
    Command1 = new QPushButton(QStringLiteral("終　了"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text1);
    layout->addWidget(Command1, 0, Qt::AlignHCenter);
    resize(760, 460);
}

} // namespace qadora
