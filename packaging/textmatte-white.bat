REM 文字の背景に白いソリッドを作図します（textmatte）
@echo off
REM #jww
REM #cd
REM #h3
REM #hc 白い背景を付ける文字を範囲選択（終点は右クリック）
REM #ht1
REM #ht2
REM #ht3
REM #ht4
REM #bz
REM #e
rem textmatte @PROJECT_VERSION@：文字の背景に白いソリッドを作図します（/c#ffffff）。
rem 1 行目と REM # で始まる行は、CAD ソフトが読みます。意味は次のとおりです。
rem   1 行目  外部変形でファイルを選ぶときに表示される説明
rem   jww     外部変形のバッチファイルであることを示す
rem   cd      このバッチファイルのフォルダーで実行する
rem   h3      範囲選択で文字だけを選ぶ（ほかの要素は渡さず、変えない）
rem   hc      範囲選択のときに表示する案内（40 文字まで。h3 のすぐ後に置く）
rem   ht1～4  ブロック、曲線、寸法図形、ソリッドを渡さない（消えることもない）
rem   bz      座標を図寸（用紙上の mm）で渡す。文字の大きさ、余白 /d と同じ単位
rem   e       指示の終わり
rem 指示の行は、REM #hc の案内文以外は変更しないでください。
rem 同じフォルダーにある textmatte.exe を実行します。オプションは %* の前に
rem 書きます。例：
rem   "%~dp0textmatte.exe" /c#ffffff /d2 %*
rem 失敗したときは理由を日本語と英語で表示し、キーが押されるまで待ちます。
rem
rem textmatte @PROJECT_VERSION@: a white box behind every text (/c#ffffff).
rem Line 1 and the REM # lines are read by the CAD program; they mean:
rem   line 1   the memo shown when you choose the file in the CAD program
rem   jww      this is an external transformation
rem   cd       run it in this batch file's folder
rem   h3       select texts by range: nothing else is handed over or changed
rem   hc       the prompt shown while you select (at most 40 characters)
rem   ht1-4    keep blocks, curves, dimension figures and solids out (never deleted)
rem   bz       coordinates in mm on the sheet, the unit of text sizes and of /d
rem   e        the end of the directives
rem In the directives, change nothing but the prompt after REM #hc.
rem This file runs textmatte.exe from its own folder. Options go before %*,
rem for example:
rem   "%~dp0textmatte.exe" /c#ffffff /d2 %*
rem When textmatte fails, the window says why in Japanese and English and
rem waits for a key.
setlocal
"%~dp0textmatte.exe" /c#ffffff %*
set status=%errorlevel%
if "%status%"=="0" exit /b 0
echo.
if "%status%"=="-1" goto no_drawing
if "%status%"=="1" goto failed
if "%status%"=="2" goto not_durable
if "%status%"=="9009" goto not_started
if "%status%"=="-1073741510" goto interrupted
if %status% GEQ 129 if %status% LEQ 192 goto stopped
goto other
:no_drawing
echo jwc_temp.txt が見つからないため、処理できませんでした（終了コード -1）。
echo jwc_temp.txt was not found, so nothing was done (status -1).
echo このバッチファイルは、CAD ソフトの外部変形から実行してください。
echo Run this batch file from the CAD program's external transformation command.
echo ダブルクリックでは動きません。
echo Double-clicking it does not work.
echo 上のメッセージに JWC_TEMP.$$$ とあるときは、README-ja.txt を見てください。
echo If the message above names JWC_TEMP.$$$, see README-en.txt.
goto wait
:failed
echo 処理できませんでした（終了コード 1）。図面は変わっていません。
echo textmatte could not do its work (status 1). The drawing was not changed.
echo 上の英語のメッセージを README-ja.txt の「うまくいかないとき」で探してください。
echo Look up the message above in "When something goes wrong" in README-en.txt.
goto wait
:not_durable
echo 結果は jwc_temp.txt に入っています（終了コード 2）。
echo The result is in jwc_temp.txt (status 2).
echo ただし、ディスクへの書き込みを確定できず、停電などで失われるおそれがあります。
echo But the disk could not confirm it is stored: a power loss may lose it.
echo 詳しくは README-ja.txt の「うまくいかないとき」を見てください。
echo See "When something goes wrong" in README-en.txt.
goto wait
:not_started
echo textmatte.exe を起動できず、図面は変わっていません（終了コード 9009）。
echo textmatte.exe could not be started; the drawing was not changed (status 9009).
echo バッチファイルと同じフォルダーに textmatte.exe がありません。
echo textmatte.exe is not in the batch file's folder.
echo ウイルス対策ソフトが隔離したときは、そのソフトで復元して許可してください。
echo If an antivirus program quarantined it, restore and allow it there.
echo そうでなければ、ZIP の中身をすべて同じフォルダーに展開し直してください。
echo Otherwise unpack all files of the ZIP into one folder again.
goto wait
:interrupted
echo Ctrl+C などで処理が中断されました（終了コード -1073741510）。
echo The run was interrupted, by Ctrl+C or the like (status -1073741510).
echo 図面は変わっていません。
echo The drawing was not changed.
goto wait
:stopped
echo textmatte が異常終了しました（終了コード %status%）。
echo textmatte stopped abnormally (status %status%).
echo jwc_temp.txt には、上のメッセージのとおり、元の図面か結果が入っています。
echo jwc_temp.txt holds the drawing or the result, as the message above says.
goto wait
:other
echo textmatte が途中で止まったか、起動できませんでした（終了コード %status%）。
echo textmatte stopped or could not start (status %status%).
echo CAD ソフトが「未実行」と表示したときは、図面は変わっていません。
echo If the CAD program shows it as not executed, the drawing was not changed.
echo README-ja.txt の「うまくいかないとき」を見てください。
echo See "When something goes wrong" in README-en.txt.
:wait
pause
exit /b %status%
