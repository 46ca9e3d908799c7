@echo off
REM #jww
REM #cd
REM #hc 対象の文字を範囲選択します。範囲の終点は右クリックで指示してください（文字を含めて選択します）
REM #e
rem textmatte @PROJECT_VERSION@：文字の下に灰色のソリッドを作図します（既定の設定）。
rem 最初の 4 行の REM は CAD ソフトが読む指示です。変更しないでください。
rem このファイルと同じフォルダーの textmatte.exe を、CAD ソフトが jwc_temp.txt を
rem 書き出したフォルダーで起動します。オプションは %* の前に書きます。例：
rem   "%~dp0textmatte.exe" /c3 /d2 %*
rem 失敗したときは理由を表示し、キーが押されるまで待ちます。
rem
rem textmatte @PROJECT_VERSION@: a grey box under every text (the defaults).
rem The first four REM lines are read by the CAD program: leave them as they are.
rem This file starts textmatte.exe from its own folder, in the folder where
rem the CAD program wrote jwc_temp.txt. Options go before %*, for example:
rem   "%~dp0textmatte.exe" /c3 /d2 %*
rem When textmatte fails, the window shows why and waits for a key.
setlocal
"%~dp0textmatte.exe" %*
set status=%errorlevel%
if "%status%"=="0" exit /b 0
echo.
if "%status%"=="9009" goto missing
if "%status%"=="2" goto not_durable
echo textmatte は終了コード %status% で終了しました。図面は変更されていません。
echo 原因は上のメッセージのとおりです。メッセージの意味は README-ja.txt にあります。
echo textmatte ended with status %status%: the drawing was not changed.
echo The message above says why; README-en.txt explains each message.
goto wait
:missing
echo バッチファイルと同じフォルダーに textmatte.exe がありません（終了コード 9009）。
echo 図面は変更されていません。ZIP の中身はすべて同じフォルダーに置いてください。
echo textmatte.exe was not found beside this batch file (status 9009).
echo The drawing was not changed. Keep all files of the ZIP in one folder.
goto wait
:not_durable
echo textmatte は終了コード 2 で終了しました。結果は jwc_temp.txt に入っています。
echo ただし停電などで失われるおそれがあります。詳しくは README-ja.txt にあります。
echo textmatte ended with status 2: the result is in jwc_temp.txt, but it
echo may not survive a power loss. README-en.txt says more.
:wait
pause
exit /b %status%
