@echo off
rem Runs the Windows tests of this kit: see README.txt. The results go to
rem the folder results beside this file; the exit code is 0 only where no
rem test failed. With --strict, on a throwaway machine, the tests that
rem start Sealmark.exe fail where they would skip for want of the recorder.
rem A ! in the kit's path would be taken away where the prompt expands
rem !...! (cmd /v:on, or DelayedExpansion in the registry).
setlocal DisableDelayedExpansion
"%~dp0win32\kit_runner.exe" %*
exit /b %errorlevel%
