#!/bin/sh
# Fails when a program imports a library outside Windows' known list (KnownDLLs, which Windows
# always takes from the system folder, and comctl32, bound by the manifest): any other imported
# name is looked for beside the program first, where a planted copy would run inside it. Also
# fails when a program is marked for Windows older than 6.0, or has grown past 160 KiB: both
# programs are meant to be small, self-contained downloads.
set -eu
known="KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL SHLWAPI.DLL OLE32.DLL OLEAUT32.DLL
COMDLG32.DLL MSVCRT.DLL IMM32.DLL COMCTL32.DLL"
limit=163840
status=0
for exe in "$@"; do
    headers=$(x86_64-w64-mingw32-objdump -p "$exe")
    dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$dlls" ] || { echo "$exe: no import table found"; status=1; continue; }
    for dll in $dlls; do
        case " $(echo $known) " in
        *" $(echo "$dll" | tr 'a-z' 'A-Z') "*) ;;
        *)
            echo "$exe imports $dll, which is not on Windows' known list: a copy beside the program would be loaded"
            status=1
            ;;
        esac
    done
    subsystem=$(echo "$headers" | awk '/^MajorSubsystemVersion/ {major = $2} /^MinorSubsystemVersion/ {minor = $2} END {print major "." minor}')
    if [ "$subsystem" != "6.0" ]; then
        echo "$exe is marked for Windows $subsystem, not 6.0"
        status=1
    fi
    size=$(stat -c %s "$exe")
    if [ "$size" -gt "$limit" ]; then
        echo "$exe is $size bytes, over the limit of $limit (160 KiB)"
        status=1
    fi
    echo "$(basename "$exe"): $size bytes; subsystem $subsystem; $(echo $dlls)"
done
exit $status
