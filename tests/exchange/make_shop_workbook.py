#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the shop owner's FAQ workbook as a spreadsheet program keeps it, then has
LibreOffice (headless) save it as .xlsx and .ods: a title row merged across the columns, a
blank row, Japanese headers with a blank column, 42 rows in 6 plain categories each merged
down over its rows, a date, a formatted number, cells with line breaks.

usage: make_shop_workbook.py OUTDIR   (writes shop.fods, shop.xlsx, shop.ods and shop.txt,
the records expected, one a line: row, category, question, answer with \\n for breaks)"""
import os
import subprocess
import sys
from xml.sax.saxutils import escape

CATEGORIES = ["ご注文について", "お支払いについて", "配送について", "返品・交換について", "会員登録について", "その他"]


def rows():
    out = []
    for c, category in enumerate(CATEGORIES):
        for i in range(7):
            question = f"{category}の質問その{i + 1}ですか？"
            answer = [f"{category}の{i + 1}番目の答えです。"]
            out.append([category, question, answer, None])
    out[0][2] = ["一行目の答え", "二行目の答え"]              # two paragraphs: a line break
    out[1][2] = None
    out[1][3] = ("date", "2024-04-01", "2024年4月1日")        # shown as a Japanese date
    out[2][2] = None
    out[2][3] = ("float", "1500", "1,500")                    # shown with a thousands separator
    out[3][2] = ["すでに<br>", "改行があります"]                # a <br> already there
    return out


def paragraphs(lines):
    return "".join(f"<text:p>{escape(line)}</text:p>" for line in lines)


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    body = []
    body.append('<table:table-row><table:table-cell table:number-columns-spanned="4" office:value-type="string">'
                '<text:p>ショップのよくある質問（2024年版）</text:p></table:table-cell>'
                '<table:covered-table-cell table:number-columns-repeated="3"/></table:table-row>')
    body.append('<table:table-row><table:table-cell table:number-columns-repeated="4"/></table:table-row>')
    body.append('<table:table-row>' + "".join(
        f'<table:table-cell office:value-type="string"><text:p>{h}</text:p></table:table-cell>' if h else '<table:table-cell/>'
        for h in ["カテゴリ", "", "質問", "回答"]) + '</table:table-row>')
    expected = []
    for n, (category, question, answer, typed) in enumerate(rows()):
        cells = []
        if n % 7 == 0:
            cells.append(f'<table:table-cell table:number-rows-spanned="7" office:value-type="string">'
                         f'<text:p>{escape(category)}</text:p></table:table-cell>')
        else:
            cells.append('<table:covered-table-cell/>')
        cells.append('<table:table-cell/>')
        cells.append(f'<table:table-cell office:value-type="string"><text:p>{escape(question)}</text:p></table:table-cell>')
        if typed is None:
            cells.append(f'<table:table-cell office:value-type="string">{paragraphs(answer)}</table:table-cell>')
            shown = "\\n".join(answer)
        elif typed[0] == "date":
            cells.append(f'<table:table-cell table:style-name="ceDate" office:value-type="date" office:date-value="{typed[1]}">'
                         f'<text:p>{typed[2]}</text:p></table:table-cell>')
            shown = "2024/04/01"
        else:
            cells.append(f'<table:table-cell table:style-name="ceNumber" office:value-type="float" office:value="{typed[1]}">'
                         f'<text:p>{typed[2]}</text:p></table:table-cell>')
            shown = typed[2]
        body.append('<table:table-row>' + "".join(cells) + '</table:table-row>')
        expected.append(f"{n + 4}\t{category}\t{question}\t{shown}")
    fods = f'''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="NDate"><number:year number:style="long"/><number:text>年</number:text><number:month/><number:text>月</number:text><number:day/><number:text>日</number:text></number:date-style>
 <number:number-style style:name="NNumber"><number:number number:decimal-places="0" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
 <style:style style:name="ceDate" style:family="table-cell" style:data-style-name="NDate"/>
 <style:style style:name="ceNumber" style:family="table-cell" style:data-style-name="NNumber"/>
</office:automatic-styles>
<office:body><office:spreadsheet>
<table:table table:name="FAQ">
<table:table-column table:number-columns-repeated="4"/>
{"".join(body)}
</table:table>
<table:table table:name="メモ"><table:table-row><table:table-cell office:value-type="string"><text:p>下書き</text:p></table:table-cell></table:table-row></table:table>
</office:spreadsheet></office:body></office:document>
'''
    with open(os.path.join(outdir, "shop.fods"), "w", encoding="utf-8") as f:
        f.write(fods)
    with open(os.path.join(outdir, "shop.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(expected) + "\n")
    profile = "file://" + os.path.abspath(os.path.join(outdir, "lo-profile"))
    for target in ["xlsx", "ods"]:
        subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--convert-to", target,
                        "--outdir", outdir, os.path.join(outdir, "shop.fods")],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)


if __name__ == "__main__":
    main()
