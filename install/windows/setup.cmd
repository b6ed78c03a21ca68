@echo off
rem Opens .tvpi and .tvpid files with the zoba.exe beside this script, for
rem the current user only (HKCU\Software\Classes: no administrator rights).
rem "setup.cmd /u" undoes it. Double-click it; it asks only for a key press.
setlocal DisableDelayedExpansion
rem Taken before delayed expansion is on, so that a "!" in the path stays.
set "folder=%~dp0"
set "classes=HKCU\Software\Classes"
set "type=zoba.iepg"
if /i "%~1"=="/u" goto undo

rem A "%" or "!" in the folder's name is read as part of a variable by some
rem cmd (Wine's reads the value of %~dp0 again), which would register another
rem folder's program. The name is judged by the system's own text of it, from
rem "cd" through "find": no variable holds it when it is judged. A script
rem that is not where %~f0 says was named otherwise: only a "%" does that.
if not exist "%~f0" goto percent
pushd "%~dp0"
if errorlevel 1 goto percent
set "bad="
for /f "delims=" %%c in ('cd ^| find "%%"') do set "bad=percent"
for /f "delims=" %%c in ('cd ^| find "!"') do set "bad=bang"
popd
if "%bad%"=="percent" goto percent
if "%bad%"=="bang" goto bang
setlocal EnableDelayedExpansion

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

:percent
echo The name of this folder holds "%%", which cmd reads as part of a variable.
goto move

:bang
echo The name of this folder holds "!", which cmd reads as part of a variable.

:move
echo Nothing was registered. Move the folder to one whose name has no %% or !,
echo then run setup.cmd there.
goto done

:failed
echo The association could not be written to the registry (reg said why above).
echo Run "setup.cmd /u" to remove what was written.

:done
pause
