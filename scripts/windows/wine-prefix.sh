#!/usr/bin/env bash
# Makes a Wine prefix for Qadora's programs: no Mono or Gecko prompts, Japanese glyphs in
# Wine's own dialogs and title bars (FontLink to the Noto CJK fonts; Qt itself reads the
# fonts Wine passes through), and Qt's messages on standard error.
#
#   scripts/windows/wine-prefix.sh PREFIX
set -euo pipefail
export WINEPREFIX=$1 WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
link='NotoSansCJK-Regular.ttc,Noto Sans CJK JP'
for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "Microsoft Sans Serif" "MS UI Gothic"; do
    wine reg add "$key" /v "$face" /t REG_MULTI_SZ /d "$link" /f >/dev/null
done
# Qt Test writes to the debugger channel when there is no console.
wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /t REG_SZ /d 1 /f >/dev/null
wineserver -w
