#!/usr/bin/env bash
# SpeechTool.exe must be a 32-bit GUI program that needs only DLLs shipped
# with Windows.
set -u
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail=0

kind=$(file -b "$exe")
echo "file: $kind"
case "$kind" in
    "PE32 executable (GUI) Intel 80386"*) ;;
    *) echo "not a PE32 GUI i386 executable"; fail=1 ;;
esac

system="kernel32.dll user32.dll gdi32.dll comdlg32.dll comctl32.dll shell32.dll advapi32.dll ole32.dll
        oleaut32.dll wininet.dll urlmon.dll winmm.dll msvcrt.dll ws2_32.dll mpr.dll version.dll shlwapi.dll"
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no imports found"; fail=1; }
for dll in $dlls; do
    if [[ " $(echo $system) " == *" $dll "* ]]; then
        echo "import: $dll"
    else
        echo "import: $dll is not a Windows system DLL"
        fail=1
    fi
done
exit $fail
