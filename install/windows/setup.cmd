@echo off
rem Opens .tvpi and .tvpid files with the zoba.exe beside this script, for
rem the current user only (HKCU\Software\Classes: no administrator rights).
rem "setup.cmd /u" undoes it. Double-click it; it asks only for a key press.
setlocal DisableDelayedExpansion
rem Taken before delayed expansion is on, so that a "!" in the path stays.
set "folder=%~dp0"
set "classes=HKCU\Software\Classes"
set "type=zoba.iepg"
setlocal EnableDelayedExpansion
if /i "%~1"=="/u" goto undo

if not exist "!folder!zoba.exe" (
  echo zoba.exe is not in !folder!: put setup.cmd beside it.
  goto done
)
reg add "%classes%\%type%" /ve /d "iEPG programme (zoba)" /f >nul
if errorlevel 1 goto failed
reg add "%classes%\%type%\shell\open\command" /ve /d "\"!folder!zoba.exe\" \"%%1\"" /f >nul
if errorlevel 1 goto failed
reg add "%classes%\.tvpi" /ve /d "%type%" /f >nul
if errorlevel 1 goto failed
reg add "%classes%\.tvpid" /ve /d "%type%" /f >nul
if errorlevel 1 goto failed
echo .tvpi and .tvpid files now open with "!folder!zoba.exe" (for this user only).
echo To undo it: setup.cmd /u
goto done

:undo
rem Only the extensions that still name zoba's type are removed.
for %%e in (.tvpi .tvpid) do (
  reg query "%classes%\%%e" /ve 2>nul | find /i "%type%" >nul && reg delete "%classes%\%%e" /f >nul
)
reg delete "%classes%\%type%" /f >nul 2>nul
echo .tvpi and .tvpid files no longer open with zoba (for this user).
goto done

:failed
echo The association could not be written to the registry (reg said why above).
echo Run "setup.cmd /u" to remove what was written.

:done
pause
