#!/bin/sh
# Fails when a program imports any DLL that is not part of Windows itself, or when it has grown
# past 256 KiB: both programs are meant to be small, self-contained downloads.
set -eu
system="KERNEL32.dll USER32.dll GDI32.dll COMCTL32.dll SHELL32.dll SHLWAPI.dll ADVAPI32.dll
OLE32.dll VERSION.dll msvcrt.dll"
limit=262144
status=0
for exe in "$@"; do
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$dlls" ] || { echo "$exe: no import table found"; status=1; continue; }
    for dll in $dlls; do
        ok=""
        for s in $system; do
            [ "$(echo "$dll" | tr 'a-z' 'A-Z')" = "$(echo "$s" | tr 'a-z' 'A-Z')" ] && ok=1
        done
        if [ -z "$ok" ]; then
            echo "$exe imports $dll, which Windows does not provide"
            status=1
        fi
    done
    size=$(stat -c %s "$exe")
    if [ "$size" -gt "$limit" ]; then
        echo "$exe is $size bytes, over the limit of $limit (256 KiB)"
        status=1
    fi
    echo "$(basename "$exe"): $size bytes; $(echo $dlls)"
done
exit $status
