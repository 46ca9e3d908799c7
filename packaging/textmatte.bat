@echo off
rem textmatte @PROJECT_VERSION@: register this file as the CAD program's
rem external transformation. It starts textmatte.exe from this file's own
rem folder, in the folder the CAD program runs it in (where jwc_temp.txt
rem is), with the arguments it is given. Options of your own go before %*,
rem for example:  "%~dp0textmatte.exe" /c3 /d2 %*
rem When textmatte fails, the window waits for a key so its message can be
rem read; a successful run closes at once.
setlocal
"%~dp0textmatte.exe" %*
set status=%errorlevel%
if "%status%"=="0" exit /b 0
echo.
echo textmatte ended with status %status%: the drawing was not changed.
echo The message above says why; README-en.txt and README-ja.txt explain each one.
pause
exit /b %status%
